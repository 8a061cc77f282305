#pragma once
// The passes down one column that carry the assignment machine's work when a
// column changes as a whole, in one version per vector unit. Every version
// applies to each element the same operations, in the same order, as the
// plain loops; minima and comparisons are exact, so every unit finds the same
// values and the same rows.
//
// Rows are masked by an addend or a mask per row: a NaN mask marks a covered
// row, which never compares below anything and is never a zero.

#include <cstddef>
#include <cstdint>

#include "vector_unit.h"

// A column's merge into the rows' keys, with deferred shifts (see
// deferred_values.h): for each row i, with key = (column[i] + shift) +
// rowMask[i],
// - key enters the row's least (phaseKey, with its column phaseColumn) and
//   the lower bound of its others (phaseOther); a row whose least fell below
//   freeLeast[i] is listed in improved (up to improvedLimit rows;
//   improvedCount counts them all), and its row key (rowKey[i], the
//   least key with the row's sum) becomes key + rowShift[i];
// - a row whose approximation ((key + rowShift[i]) - total) is at most bound
//   is listed in candidates (of zeros).
// Lists are ascending and have room for M rows.
struct KeyMerge {
    const double* column;
    double shift;
    const double* rowMask;
    double* phaseKey;
    double* phaseOther;
    double* phaseColumn; // column numbers, held as doubles
    double columnNumber;
    const double* freeLeast;
    double* rowKey;
    const double* rowShift;
    double total;
    double bound;
    std::int32_t M;
    std::int32_t* improved;
    std::int32_t improvedLimit;
    std::int32_t improvedCount;
    std::int32_t* candidates;
    std::int32_t candidateCount;
};

// The merge moved down to rows [from, end) of the column: its row arrays
// start at row `from` (the rows it lists are then counted from there).
inline KeyMerge keymergerows(const KeyMerge& merge, std::int32_t from, std::int32_t end)
{
    KeyMerge rows = merge;
    const auto offset = static_cast<std::size_t>(from);
    rows.column += offset;
    rows.rowMask += offset;
    rows.phaseKey += offset;
    rows.phaseOther += offset;
    rows.phaseColumn += offset;
    rows.freeLeast += offset;
    rows.rowKey += offset;
    rows.rowShift += offset;
    rows.M = end - from;
    return rows;
}

// One row of a KeyMerge, as the plain loops do it, with
// the row's starting cost in the column.
inline void mergekeyrow(KeyMerge* merge, std::int32_t i, double start)
{
    const double key = (start + merge->shift) + merge->rowMask[i];
    const double least = merge->phaseKey[i];
    if (key < least) {
        merge->phaseOther[i] = least;
        merge->phaseKey[i] = key;
        merge->phaseColumn[i] = merge->columnNumber;
        if (key < merge->freeLeast[i]) {
            if (merge->improvedCount < merge->improvedLimit) {
                merge->improved[merge->improvedCount] = i;
            }
            ++merge->improvedCount;
            merge->rowKey[i] = key + merge->rowShift[i];
        }
    } else if (key < merge->phaseOther[i]) {
        merge->phaseOther[i] = key;
    }
    if ((key + merge->rowShift[i]) - merge->total <= merge->bound) {
        merge->candidates[merge->candidateCount++] = i;
    }
}

struct ColumnPasses {
    // slack[i] = least of slack[i] and column[i] + rowMask[i]; the rows where
    // that value is zero go to zeroRows, ascending. Returns their number.
    std::int32_t (*leastandzeros)(const double* column, const double* rowMask, std::int32_t M,
                                  double* slack, std::int32_t* zeroRows);

    // An uncovered column's shift: column[i] = (column[i] + addend[i]) - h,
    // with addend[i] = h for a covered row and -0.0 for an uncovered one (x +
    // -0.0 is x, so an uncovered row's element is only shifted down); then
    // slack[i] = least of slack[i] and column[i], and the rows where
    // column[i] + rowMask[i] is zero go to zeroRows, ascending. Returns their
    // number.
    std::int32_t (*shiftuncovered)(double* column, const double* addend, const double* rowMask,
                                   double h, std::int32_t M, double* slack, std::int32_t* zeroRows);

    // A covered column's shift: column[i] = column[i] + addend[i].
    void (*shiftcovered)(double* column, const double* addend, std::int32_t M);

    // The rows i with column[i] + shift <= threshold[i], ascending, into
    // rows. Returns their number.
    std::int32_t (*rowsatmost)(const double* column, double shift, const double* threshold,
                               std::int32_t M, std::int32_t* rows);

    // See KeyMerge.
    void (*mergekeys)(KeyMerge* merge);

    // The first row i from `from` on whose approximation, as a KeyMerge
    // forms it ((((column[i] + shift) + rowMask[i]) + rowShift[i]) - total),
    // is at most bound; M when there is none.
    std::int32_t (*firstcandidate)(const double* column, double shift, const double* rowMask,
                                   const double* rowShift, double total, double bound,
                                   std::int32_t from, std::int32_t M);

    // The preparation of the working costs, in storage order.
    // copycosts: to[k] = from[k] for k < count (when to is given; without it
    // the costs are only checked); false at once when a finite
    // value is negative; otherwise *largest becomes the largest of *largest
    // and the finite values (a strictly larger value replacing it), and
    // *notFinite and *nan are set when such values occur.
    bool (*copycosts)(double* to, const double* from, std::size_t count, double* largest,
                      bool* notFinite, bool* nan);
    // least[i] = column[i] when least[i] > column[i].
    void (*lowerleast)(const double* column, std::int32_t M, double* least);
    // column[i] = from[i] - least[i] (from may be column); the rows that
    // become zero go to zeroRows, ascending, and their number is returned.
    std::int32_t (*subtractleast)(double* column, const double* from, const double* least,
                                  std::int32_t M, std::int32_t* zeroRows);

    // The least of values[0 .. M-1] (a value replacing the least so far only
    // when below it), +Inf for none; and the rows i with values[i] <=
    // threshold, ascending, into rows (their number returned).
    double (*leastvalue)(const double* values, std::int32_t M);
    std::int32_t (*rowsatmostvalue)(const double* values, double threshold, std::int32_t M,
                                    std::int32_t* rows);

    // The rows i with column[i] < limit[i], ascending, into rows (their
    // number is returned); for the others floor[i] becomes the least of
    // column[i] and floor[i].
    std::int32_t (*rowsbelow)(const double* column, const double* limit, double* floor,
                              std::int32_t M, std::int32_t* rows);
};

// The passes of unit, which must be available (vectorUnitAvailable), or the
// plain loops for VectorUnit::plain.
const ColumnPasses& columnPasses(VectorUnit unit);

// The plain loops, which every unit must match.
std::int32_t leastandzerosplain(const double* column, const double* rowMask, std::int32_t M,
                                double* slack, std::int32_t* zeroRows);
std::int32_t shiftuncoveredplain(double* column, const double* addend, const double* rowMask,
                                 double h, std::int32_t M, double* slack, std::int32_t* zeroRows);
void shiftcoveredplain(double* column, const double* addend, std::int32_t M);
std::int32_t rowsatmostplain(const double* column, double shift, const double* threshold,
                             std::int32_t M, std::int32_t* rows);
void mergekeysplain(KeyMerge* merge);
std::int32_t firstcandidateplain(const double* column, double shift, const double* rowMask,
                                 const double* rowShift, double total, double bound,
                                 std::int32_t from, std::int32_t M);
bool copycostsplain(double* to, const double* from, std::size_t count, double* largest,
                    bool* notFinite, bool* nan);
void lowerleastplain(const double* column, std::int32_t M, double* least);
std::int32_t subtractleastplain(double* column, const double* from, const double* least,
                                std::int32_t M, std::int32_t* zeroRows);
double leastvalueplain(const double* values, std::int32_t M);
std::int32_t rowsatmostvalueplain(const double* values, double threshold, std::int32_t M,
                                  std::int32_t* rows);
std::int32_t rowsbelowplain(const double* column, const double* limit, double* floor,
                            std::int32_t M, std::int32_t* rows);
