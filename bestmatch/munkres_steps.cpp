#include "munkres_steps.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "work_memory.h"

namespace
{

double* columnof(const MunkresState& state, std::int32_t j)
{
    return state.workCost + static_cast<std::size_t>(j) * static_cast<std::size_t>(state.M);
}

std::int32_t* obtainindices(std::int32_t count, std::int32_t fill)
{
    auto* indices = static_cast<std::int32_t*>(
        workAllocate(static_cast<std::size_t>(count) * sizeof(std::int32_t)));
    if (indices) {
        for (std::int32_t k = 0; k < count; ++k) indices[k] = fill;
    }
    return indices;
}

// The factor of the bound on |approximation - exact value| once shifts may
// have rounded: (s + 1) 2^-49 for s shifts made (see defershifts).
double roundingbound(const MunkresState& state)
{
    return static_cast<double>(state.history.shiftCount + 1) * 0x1p-49;
}

// A lower bound of the exact working costs in the uncovered rows of column j
// once shifts may have rounded, from its remembered least (or a stale lower
// bound of it): the least approximation a, less 2b for b = bound * (|a| +
// 2 columnShift), which is at least any element's bound there.
double columnlowerbound(const MunkresState& state, std::int32_t j)
{
    const double shift = state.columnShift[j];
    const double least = state.leastOfColumn[j] - shift;
    return least - 2 * roundingbound(state) * (std::fabs(least) + 2 * shift);
}

// The exact working cost of (i, j) with deferred shifts that may have rounded.
double exactcost(MunkresState* state, std::int32_t i, std::int32_t j)
{
    return exactworkcost(&state->history, i, j, columnof(*state, j)[i]);
}

// The first row from `from` down that may hold a zero of column j and, once
// shifts may have rounded, does so exactly; M when there is none. The column
// is scanned in blocks of rows by the vector unit's scans; only a block with
// a candidate is gone through row by row. Covered rows take part through a
// NaN shift (see rowShiftIfUncovered), which fails every test.
std::int32_t firstdeferredzero(MunkresState* state, std::int32_t j, std::int32_t from)
{
    const double* column = columnof(*state, j);
    const double* rowShift = state->rowShiftIfUncovered;
    const double shift = state->columnShift[j];
    const bool mayRound = state->shiftsMayRound;
    const double bound = mayRound ? roundingbound(*state) : 0.0;
    std::int32_t i = from;
    while (i < state->M) {
        i = state->scans->firstCandidateBlock(column, rowShift, i, state->M, shift, bound);
        const std::int32_t end = i + kScanBlock < state->M ? i + kScanBlock : state->M;
        for (; i < end; ++i) {
            if (!zerocandidate(column[i], rowShift[i], shift, bound)) continue;
            if (!mayRound || exactcost(state, i, j) == 0.0) return i;
        }
    }
    if (mayRound) state->verifiedOperations += static_cast<std::uint64_t>(state->M - from);
    return state->M;
}

// The first row from `from` down whose row is uncovered and whose working cost
// in column j is zero (-0.0 included, NaN never), or M when there is none.
// Once shifts may have rounded, only the elements whose approximation is
// within its bound of zero can be zeros, and only those are rebuilt.
std::int32_t firstuncoveredzero(MunkresState* state, std::int32_t j, std::int32_t from)
{
    if (state->shiftsDeferred) return firstdeferredzero(state, j, from);
    const double* column = columnof(*state, j);
    for (std::int32_t i = from; i < state->M; ++i) {
        if (!state->rowCovered[i] && column[i] == 0.0) return i;
    }
    return state->M;
}

// The history of deferred shifts follows every change of a line's part.
bool beginsharing(MunkresState* state, std::int32_t line)
{
    return !state->shiftsDeferred || beginspan(&state->history, line);
}

void endsharing(MunkresState* state, std::int32_t line)
{
    if (state->shiftsDeferred) endspan(&state->history, line);
}

bool coverrow(MunkresState* state, std::int32_t i)
{
    state->rowCovered[i] = 1;
    if (state->shiftsDeferred)
        state->rowShiftIfUncovered[i] = std::numeric_limits<double>::quiet_NaN();
    state->coveredRows[state->coveredRowCount++] = i;
    return beginsharing(state, i);
}

bool uncovercolumn(MunkresState* state, std::int32_t j)
{
    state->columnCovered[j] = 0;
    return beginsharing(state, state->M + j);
}

void uncoverallrows(MunkresState* state)
{
    for (std::int32_t k = 0; k < state->coveredRowCount; ++k) {
        const std::int32_t i = state->coveredRows[k];
        state->rowCovered[i] = 0;
        if (state->shiftsDeferred) state->rowShiftIfUncovered[i] = state->rowShift[i];
        endsharing(state, i);
    }
    state->coveredRowCount = 0;
}

// Finds the least working cost of column j in an uncovered row, and the first
// row holding it, and remembers both. With deferred shifts it compares
// workCost + rowShift: the column's shift is common to the column, so while
// every operation is exact the order and the first least row are the same,
// and once shifts may round these are the approximations that the bounds
// start from.
void findcolumnleast(MunkresState* state, std::int32_t j)
{
    const double* column = columnof(*state, j);
    double least = std::numeric_limits<double>::infinity();
    std::int32_t leastRow = state->M;
    if (state->shiftsDeferred) {
        // The least over the lanes, then the first row holding it (a NaN
        // shift, a covered row, is never either).
        const ColumnScans& scans = *state->scans;
        least = scans.leastRaised(column, state->rowShiftIfUncovered, state->M);
        if (least < std::numeric_limits<double>::infinity()) {
            leastRow =
                scans.firstRaisedEqual(column, state->rowShiftIfUncovered, 0, state->M, least);
            least = column[leastRow] + state->rowShiftIfUncovered[leastRow];
        }
    } else {
        for (std::int32_t i = 0; i < state->M; ++i) {
            if (!state->rowCovered[i] && least > column[i]) {
                least = column[i];
                leastRow = i;
            }
        }
    }
    state->leastOfColumn[j] = least;
    state->leastRowOfColumn[j] = leastRow;
}

// A remembered least stays right while its row is uncovered: rows are only
// covered within a phase, and step5 recomputes the columns it changes.
bool columnleastknown(const MunkresState& state, std::int32_t j)
{
    const std::int32_t row = state.leastRowOfColumn[j];
    return row != kNoMark && (row == state.M || !state.rowCovered[row]);
}

// A least whose row has been covered since: a lower bound of the least.
bool columnleaststale(const MunkresState& state, std::int32_t j)
{
    const std::int32_t row = state.leastRowOfColumn[j];
    return row != kNoMark && row != state.M && state.rowCovered[row];
}

// The least working cost in an uncovered row and an uncovered column, +Inf
// when none is smaller. No such cost is zero (step3 would have primed it), and
// the minimum of nonzero values does not depend on the order of the scan, so
// it is taken column by column from the remembered column minima.
//
// With deferred shifts a column whose least row has been covered keeps its
// least as a lower bound (a least over more rows, whose values in uncovered
// rows have not changed since). Such a column is measured again only when
// that bound is not above the least found so far: otherwise it holds neither
// the least nor an element equal to it (which the shift would make a zero).
double smallestuncovered(MunkresState* state)
{
    double h = std::numeric_limits<double>::infinity();
    if (!state->shiftsDeferred) {
        for (std::int32_t j = 0; j < state->N; ++j) {
            if (state->columnCovered[j]) continue;
            if (!columnleastknown(*state, j)) findcolumnleast(state, j);
            if (h > state->leastOfColumn[j]) h = state->leastOfColumn[j];
        }
        return h;
    }
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->columnCovered[j] || columnleaststale(*state, j)) continue;
        if (!columnleastknown(*state, j)) findcolumnleast(state, j);
        const double least = state->leastOfColumn[j] - state->columnShift[j];
        if (h > least) h = least;
    }
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->columnCovered[j] || !columnleaststale(*state, j)) continue;
        if (state->leastOfColumn[j] - state->columnShift[j] > h) continue;
        findcolumnleast(state, j);
        const double least = state->leastOfColumn[j] - state->columnShift[j];
        if (h > least) h = least;
    }
    return h;
}

// Every element of a covered row gets h added and then, if its column is
// uncovered, h subtracted, as two separate roundings in that order; elements
// do not depend on one another, so they are visited column by column. An
// uncovered column's new least and first zero in an uncovered row come out of
// the same sweep: the zeros created are the least, exactly +0.0.
void shiftcolumn(MunkresState* state, std::int32_t j, double h)
{
    double* column = columnof(*state, j);
    for (std::int32_t k = 0; k < state->coveredRowCount; ++k) {
        const std::int32_t i = state->coveredRows[k];
        column[i] = column[i] + h;
    }
    if (state->columnCovered[j]) return;
    double least = std::numeric_limits<double>::infinity();
    std::int32_t leastRow = state->M;
    for (std::int32_t i = 0; i < state->M; ++i) {
        const double shifted = column[i] - h;
        column[i] = shifted;
        if (!state->rowCovered[i] && least > shifted) {
            least = shifted;
            leastRow = i;
        }
    }
    state->leastOfColumn[j] = least;
    state->leastRowOfColumn[j] = leastRow;
    state->zeroSearchStart[j] = least == 0.0 ? leastRow : state->M;
}

// The exponent of the lowest set bit of a positive finite double.
int lowestbit(double x)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &x, sizeof bits);
    const auto exponent = static_cast<int>((bits >> 52) & 0x7ff);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int base = -1074;
    if (exponent != 0) {
        mantissa |= std::uint64_t{1} << 52;
        base = exponent - 1075;
    }
    return base + __builtin_ctzll(mantissa);
}

// Finds the largest starting working cost and the grain, at the first shift
// (a run without shifts never pays for the scan). The scan of the grain stops
// as soon as the grain is so fine that not even the largest cost fits below
// 2^52 grains: then no shift can be deferred (exactBelow = 0).
void measuregrain(MunkresState* state)
{
    const std::size_t elements =
        static_cast<std::size_t>(state->M) * static_cast<std::size_t>(state->N);
    double largest = 0.0;
    for (std::size_t k = 0; k < elements; ++k) {
        if (state->workCost[k] > largest) largest = state->workCost[k];
    }
    state->largestStart = largest;
    state->exactBelow = 0.0;
    if (largest == 0.0) return; // no shift: step5 never sees an all-zero uncovered part
    const int largestExponent = std::ilogb(largest);
    int grain = lowestbit(largest);
    for (std::size_t k = 0; k < elements; ++k) {
        const double v = state->workCost[k];
        if (v > 0.0) {
            const int low = lowestbit(v);
            if (low < grain) grain = low;
            if (grain + 52 <= largestExponent) return;
        }
    }
    state->exactBelow = std::ldexp(1.0, 53 + grain); // +Inf past the largest exponent
}

// Whether a deferred shift by h keeps every sum exact (see defershifts).
bool shiftstaysexact(MunkresState* state, double h)
{
    if (state->exactBelow < 0) measuregrain(state);
    const double largest = state->largestStart + (state->shiftTotal + h);
    return std::isfinite(largest) && largest <= 0.5 * state->exactBelow;
}

// One deferred shift by h: the covered rows and the uncovered columns take h
// into their sums, and the history records it. False, when the sums could
// come near the largest double (every bound stays far from overflow) or the
// history cannot grow.
bool deferredshift(MunkresState* state, double h)
{
    const double total = state->shiftTotal + h;
    if (!(state->largestStart + 4 * total < 0x1p1000)) return false;
    state->shiftTotal = total;
    for (std::int32_t k = 0; k < state->coveredRowCount; ++k) {
        const std::int32_t i = state->coveredRows[k];
        state->rowShift[i] = state->rowShift[i] + h;
    }
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (!state->columnCovered[j]) state->columnShift[j] = state->columnShift[j] + h;
    }
    return recordshift(&state->history, h);
}

// Where a shift by h makes zeros while every working cost is still exact: an
// uncovered column's remembered least (known for all of them after
// smallestuncovered) is its first uncovered least row, and x - h is zero
// exactly when x == h.
void markexactshiftzeros(MunkresState* state, double h)
{
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->columnCovered[j]) continue;
        const bool zero = state->leastOfColumn[j] - state->columnShift[j] == h;
        state->zeroSearchStart[j] = zero ? state->leastRowOfColumn[j] : state->M;
    }
}

// The first row that may hold a zero of column j once every row is
// uncovered, its least over all rows known: its least row if that is an
// exact zero, none (M) if the least is certainly above zero, and otherwise
// row 0, from which step3 tests the candidates.
std::int32_t firstpossiblezero(const MunkresState& state, std::int32_t j)
{
    const double least = state.leastOfColumn[j];
    if (!state.shiftsDeferred) return least == 0.0 ? state.leastRowOfColumn[j] : state.M;
    const double shift = state.columnShift[j];
    if (!state.shiftsMayRound) {
        return least - shift == 0.0 ? state.leastRowOfColumn[j] : state.M;
    }
    return columnlowerbound(state, j) > 0.0 ? state.M : 0;
}

// What verifying decisions may cost before the run is abandoned, in
// elements tested and shifts replayed: the share verificationShare of what the
// shifts made so far cost element by element, and four whole-matrix passes.
double verificationallowance(const MunkresState& state)
{
    const double elements = static_cast<double>(state.M) * static_cast<double>(state.N);
    const double shifts = static_cast<double>(state.history.shiftCount);
    return elements * (state.verificationShare * shifts + 4);
}

bool verificationaffordable(const MunkresState& state)
{
    const auto spent =
        static_cast<double>(state.verifiedOperations + state.history.replayedOperations);
    return spent <= verificationallowance(state);
}

// The least exact working cost over the uncovered rows of column j among the
// elements whose lower bound a - b is not above `upper`, and the first row
// holding it (M when none is finite).
double verifiedcolumnleast(MunkresState* state, std::int32_t j, double upper, std::int32_t* row)
{
    const double bound = roundingbound(*state);
    const double shift = state->columnShift[j];
    const double* column = columnof(*state, j);
    double least = std::numeric_limits<double>::infinity();
    *row = state->M;
    for (std::int32_t i = 0; i < state->M; ++i) {
        if (state->rowCovered[i]) continue;
        const double raised = column[i] + state->rowShift[i];
        if ((raised - shift) - bound * (raised + shift) > upper) continue;
        const double exact = exactcost(state, i, j);
        if (least > exact) {
            least = exact;
            *row = i;
        }
    }
    state->verifiedOperations += static_cast<std::uint64_t>(state->M);
    return least;
}

// The least exact working cost h over the uncovered rows and columns, once
// shifts may have rounded, and where it lies: every uncovered column gets as
// zeroSearchStart its first uncovered row holding h (the zero that the shift
// makes there: x - h is zero only for x == h) or M. The least upper bound
// a + b over the columns' least approximations bounds h from above; a column
// whose bound puts all its elements above that holds no h, and in the others
// only the elements whose lower bound a - b is not above it are rebuilt. h
// is +Inf when no element is finite.
double verifiedsmallest(MunkresState* state)
{
    const double bound = roundingbound(*state);
    // Stale leasts (see smallestuncovered) are measured again only where
    // their lower bound does not lie above the upper bound found so far.
    double upper = std::numeric_limits<double>::infinity();
    for (int stale = 0; stale < 2; ++stale) {
        for (std::int32_t j = 0; j < state->N; ++j) {
            if (state->columnCovered[j] || columnleaststale(*state, j) != (stale == 1)) continue;
            if (stale && columnlowerbound(*state, j) > upper) continue;
            if (!columnleastknown(*state, j)) findcolumnleast(state, j);
            if (state->leastRowOfColumn[j] == state->M) continue;
            const double shift = state->columnShift[j];
            const double least = state->leastOfColumn[j];
            const double above = (least - shift) + bound * (least + shift);
            if (upper > above) upper = above;
        }
    }
    double smallest = std::numeric_limits<double>::infinity();
    std::int32_t candidates = 0;
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->columnCovered[j]) continue;
        state->zeroSearchStart[j] = state->M;
        if (state->leastRowOfColumn[j] == state->M || columnlowerbound(*state, j) > upper) continue;
        std::int32_t row = state->M;
        const double columnLeast = verifiedcolumnleast(state, j, upper, &row);
        state->candidateColumns[candidates] = j;
        state->candidateLeast[candidates] = columnLeast;
        state->zeroSearchStart[j] = row;
        ++candidates;
        if (smallest > columnLeast) smallest = columnLeast;
    }
    for (std::int32_t k = 0; k < candidates; ++k) {
        if (!(state->candidateLeast[k] == smallest)) {
            state->zeroSearchStart[state->candidateColumns[k]] = state->M;
        }
    }
    return smallest;
}

// Before column j is scanned for zeros, its least over the uncovered rows (a
// stale least is a lower bound) can show that it holds none, or, while
// shifts are exact, where the first one is.
void narrowzerosearch(MunkresState* state, std::int32_t j)
{
    if (state->zeroSearchStart[j] == state->M) return;
    // While shifts are exact, zeros are common (ties of integer costs) and
    // the zero scan mostly stops early. Once they may round, zeros are rare
    // and the least, measured first (step5 needs it anyway), mostly spares
    // the scan.
    if (state->leastRowOfColumn[j] == kNoMark) {
        if (!state->shiftsMayRound) return;
        findcolumnleast(state, j);
    }
    const std::int32_t row = state->leastRowOfColumn[j];
    if (row == state->M) {
        state->zeroSearchStart[j] = state->M;
        return;
    }
    const double least = state->leastOfColumn[j] - state->columnShift[j];
    if (state->shiftsMayRound) {
        if (columnlowerbound(*state, j) > 0.0) state->zeroSearchStart[j] = state->M;
    } else if (least > 0.0) {
        state->zeroSearchStart[j] = state->M;
    } else if (least == 0.0 && columnleastknown(*state, j) && row > state->zeroSearchStart[j]) {
        state->zeroSearchStart[j] = row;
    }
}

} // namespace

void defershifts(MunkresState* state, VectorUnit unit)
{
    state->scans = &columnScans(unit);
    const auto columns = static_cast<std::size_t>(state->N);
    state->candidateColumns = obtainindices(state->N, 0);
    state->candidateLeast = static_cast<double*>(workAllocate(columns * sizeof(double)));
    state->rowShiftIfUncovered = static_cast<double*>(
        workAllocateZeroed(static_cast<std::size_t>(state->M), sizeof(double)));
    bool obtained = state->candidateColumns && state->candidateLeast &&
                    state->rowShiftIfUncovered &&
                    obtainhistory(&state->history, state->M, state->N);
    state->shiftsDeferred = obtained;
    for (std::int32_t j = 0; obtained && j < state->N; ++j) {
        if (!state->columnCovered[j]) obtained = uncovercolumn(state, j);
    }
    if (!obtained) {
        releasehistory(&state->history);
        state->shiftsDeferred = false;
        return;
    }
    state->shiftTotal = 0.0;
    state->exactBelow = -1.0; // the grain is measured at the first shift
}

double workcostof(const MunkresState& state, std::int32_t i, std::int32_t j)
{
    const double stored = columnof(state, j)[i];
    if (!state.shiftsDeferred) return stored;
    if (!state.shiftsMayRound) return (stored + state.rowShift[i]) - state.columnShift[j];
    std::uint64_t operations = 0;
    return replayedworkcost(state.history, i, j, stored, &operations);
}

bool obtainstate(MunkresState* state, double* assignment, double* workCost, std::int32_t M,
                 std::int32_t N)
{
    *state = MunkresState{};
    state->assignment = assignment;
    state->workCost = workCost;
    state->M = M;
    state->N = N;
    state->targetPairs = M < N ? M : N;
    state->columnCovered =
        static_cast<unsigned char*>(workAllocateZeroed(static_cast<std::size_t>(N), 1));
    state->rowCovered =
        static_cast<unsigned char*>(workAllocateZeroed(static_cast<std::size_t>(M), 1));
    state->starColumnOfRow = obtainindices(M, kNoMark);
    state->starRowOfColumn = obtainindices(N, kNoMark);
    state->primeColumnOfRow = obtainindices(M, kNoMark);
    state->zeroSearchStart = obtainindices(N, 0);
    state->leastOfColumn =
        static_cast<double*>(workAllocateZeroed(static_cast<std::size_t>(N), sizeof(double)));
    state->leastRowOfColumn = obtainindices(N, kNoMark);
    state->coveredRows = obtainindices(M, 0);
    state->rowShift =
        static_cast<double*>(workAllocateZeroed(static_cast<std::size_t>(M), sizeof(double)));
    state->columnShift =
        static_cast<double*>(workAllocateZeroed(static_cast<std::size_t>(N), sizeof(double)));
    state->abandonAtShift = UINT64_MAX;
    state->verificationShare = 0.25;
    const bool obtained = state->columnCovered && state->rowCovered && state->starColumnOfRow &&
                          state->starRowOfColumn && state->primeColumnOfRow &&
                          state->zeroSearchStart && state->leastOfColumn &&
                          state->leastRowOfColumn && state->coveredRows && state->rowShift &&
                          state->columnShift;
    if (!obtained) releasestate(state);
    return obtained;
}

void releasestate(MunkresState* state)
{
    workRelease(state->columnCovered);
    workRelease(state->rowCovered);
    workRelease(state->starColumnOfRow);
    workRelease(state->starRowOfColumn);
    workRelease(state->primeColumnOfRow);
    workRelease(state->zeroSearchStart);
    workRelease(state->leastOfColumn);
    workRelease(state->leastRowOfColumn);
    workRelease(state->coveredRows);
    workRelease(state->rowShift);
    workRelease(state->columnShift);
    workRelease(state->candidateColumns);
    workRelease(state->candidateLeast);
    workRelease(state->rowShiftIfUncovered);
    releasehistory(&state->history);
    *state = MunkresState{}; // nothing left to release twice
}

void setstar(MunkresState* state, std::int32_t row, std::int32_t column)
{
    state->starColumnOfRow[row] = column;
    state->starRowOfColumn[column] = row;
}

MunkresStep step2a(MunkresState* state)
{
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->starRowOfColumn[j] == kNoMark || state->columnCovered[j]) continue;
        state->columnCovered[j] = 1;
        endsharing(state, state->M + j);
    }
    return MunkresStep::step2b;
}

MunkresStep step2b(MunkresState* state)
{
    std::int32_t covered = 0;
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->columnCovered[j]) ++covered;
    }
    if (covered != state->targetPairs) return MunkresStep::step3;
    buildassignmentvector(state->assignment, state->starColumnOfRow, state->M);
    return MunkresStep::finished;
}

// Within one step3 rows are only ever covered and working costs do not change,
// so a column's uncovered zeros only become fewer: each scan of column j goes
// on from where the last one stopped (zeroSearchStart), which meets the same
// first zero as a scan from row 0.
MunkresStep step3(MunkresState* state, std::int32_t* row, std::int32_t* column)
{
    bool primedInPass = true;
    while (primedInPass) {
        primedInPass = false;
        for (std::int32_t j = 0; j < state->N; ++j) {
            if (state->columnCovered[j]) continue;
            if (state->shiftsDeferred) narrowzerosearch(state, j);
            const std::int32_t i = firstuncoveredzero(state, j, state->zeroSearchStart[j]);
            state->zeroSearchStart[j] = i;
            if (i == state->M) continue;
            state->primeColumnOfRow[i] = j;
            const std::int32_t star = state->starColumnOfRow[i];
            if (star == kNoMark) {
                *row = i;
                *column = j;
                return MunkresStep::step4;
            }
            if (!coverrow(state, i) || !uncovercolumn(state, star)) return MunkresStep::abandoned;
            primedInPass = true;
        }
    }
    return MunkresStep::step5;
}

// The columns along the path are distinct (each prime on it was set before the
// one that leads to it), so the stars can be moved in place: the star of
// column j is read before column j gets its new star.
MunkresStep step4(MunkresState* state, std::int32_t row, std::int32_t column)
{
    std::int32_t i = row;
    std::int32_t j = column;
    for (;;) {
        const std::int32_t starRow = state->starRowOfColumn[j];
        setstar(state, i, j);
        if (starRow == kNoMark) break;
        i = starRow;
        j = state->primeColumnOfRow[starRow];
    }
    for (std::int32_t r = 0; r < state->M; ++r) state->primeColumnOfRow[r] = kNoMark;
    // Every row is uncovered again. A column whose least over the uncovered
    // rows is known takes in the rows being uncovered, so it is known over
    // all rows; then its first zero is its least row if the least is zero,
    // and it has none otherwise. With deferred shifts a column that now holds
    // a star is left to be measured when it is next uncovered, if ever: most
    // columns hold one, and one pass down a column costs less than picking
    // out the covered rows of every column.
    for (std::int32_t c = 0; c < state->N; ++c) {
        const bool starred = state->starRowOfColumn[c] != kNoMark;
        if (!columnleastknown(*state, c) || (state->shiftsDeferred && starred)) {
            state->zeroSearchStart[c] = 0;
            state->leastRowOfColumn[c] = kNoMark;
            continue;
        }
        const double* columnCost = columnof(*state, c);
        double least = state->leastOfColumn[c];
        std::int32_t leastRow = state->leastRowOfColumn[c];
        for (std::int32_t k = 0; k < state->coveredRowCount; ++k) {
            const std::int32_t r = state->coveredRows[k];
            const double v =
                state->shiftsDeferred ? columnCost[r] + state->rowShift[r] : columnCost[r];
            if (v < least || (v == least && r < leastRow)) {
                least = v;
                leastRow = r;
            }
        }
        state->leastOfColumn[c] = least;
        state->leastRowOfColumn[c] = leastRow;
        state->zeroSearchStart[c] = firstpossiblezero(*state, c);
    }
    uncoverallrows(state);
    return MunkresStep::step2a;
}

// Covered columns keep zeroSearchStart: step5 changes none of their elements
// in uncovered rows.
MunkresStep step5(MunkresState* state)
{
    const double h = state->shiftsMayRound ? verifiedsmallest(state) : smallestuncovered(state);
    if (!std::isfinite(h)) return MunkresStep::overflowed;
    ++state->shiftsRun;
    if (!state->shiftsDeferred) {
        for (std::int32_t j = 0; j < state->N; ++j) shiftcolumn(state, j, h);
        return MunkresStep::step3;
    }
    if (state->shiftsRun == state->abandonAtShift) return MunkresStep::abandoned;
    if (!state->shiftsMayRound) {
        markexactshiftzeros(state, h);
        if (!shiftstaysexact(state, h)) state->shiftsMayRound = true;
    } else if (!verificationaffordable(*state)) {
        return MunkresStep::abandoned;
    }
    return deferredshift(state, h) ? MunkresStep::step3 : MunkresStep::abandoned;
}

std::uint64_t steplimit(std::int32_t targetPairs)
{
    const auto pairs = static_cast<std::uint64_t>(targetPairs);
    return pairs * pairs + 5 * pairs + 1;
}

MunkresOutcome runstepmachine(MunkresState* state, std::uint64_t stepLimit, std::uint64_t* stepsRun)
{
    MunkresStep next = MunkresStep::step2b;
    std::int32_t primeRow = 0;
    std::int32_t primeColumn = 0;
    std::uint64_t steps = 0;
    for (;;) {
        if (next == MunkresStep::finished || next == MunkresStep::overflowed ||
            next == MunkresStep::abandoned) {
            break;
        }
        if (steps == stepLimit) {
            *stepsRun = steps;
            return MunkresOutcome::stepLimitReached;
        }
        ++steps;
        switch (next) {
        case MunkresStep::step2a:
            next = step2a(state);
            break;
        case MunkresStep::step2b:
            next = step2b(state);
            break;
        case MunkresStep::step3:
            next = step3(state, &primeRow, &primeColumn);
            break;
        case MunkresStep::step4:
            next = step4(state, primeRow, primeColumn);
            break;
        case MunkresStep::step5:
            next = step5(state);
            break;
        default:
            break;
        }
    }
    *stepsRun = steps;
    if (next == MunkresStep::abandoned) return MunkresOutcome::abandoned;
    return next == MunkresStep::finished ? MunkresOutcome::finished : MunkresOutcome::overflowed;
}

void buildassignmentvector(double* assignment, const std::int32_t* starColumnOfRow, std::int32_t M)
{
    for (std::int32_t i = 0; i < M; ++i) {
        if (starColumnOfRow[i] != kNoMark) assignment[i] = starColumnOfRow[i] + 1.0;
    }
}

void computeassignmentcost(double* assignment, double* cost, const double* costs, std::int32_t M)
{
    const auto rows = static_cast<std::size_t>(M);
    for (std::size_t i = 0; i < rows; ++i) {
        const auto j = static_cast<std::int64_t>(assignment[i]) - 1;
        if (j < 0) continue;
        const double v = costs[i + static_cast<std::size_t>(j) * rows];
        if (std::isfinite(v)) {
            *cost = v + *cost;
        } else {
            assignment[i] = 0.0;
        }
    }
}
