// A starred column uncovered in a phase, with deferred shifts: its elements
// enter the rows' keys (phaseKey, phaseOther, the row tree), and its zeros in
// uncovered rows go to step3's lists.
//
// A column with a usable list of relevant rows (relevant_rows.h) merges those
// rows alone, at once. A column without one gets a new list from a pass that
// only compares the column with the rows' thresholds, and merges that; before
// the phase's first shift (and many phases end without one) such a column is
// only scanned for zeros, and listed and merged at that shift. A column
// whose list would be too long is merged as step3 asks for its zeros: a
// first block of rows, then the rest of the column, each with its zeros.
// Where zeros are many (integer costs, ties), step3 mostly finds what it
// needs in the first block and the phase may end before the rest of the
// column is read; where they are few, the column is read through in two
// passes. Either way every uncovered column is merged in full before step5
// needs the keys: step3 comes back to a column until it has no zeros left.

#include <algorithm>
#include <cstddef>
#include <limits>

#include "deferred_values.h"
#include "munkres_steps.h"

namespace
{

constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr std::int32_t kFirstBlock = 64;

// The merge of column j over every row, before any row is taken.
KeyMerge keymergeof(MunkresState* state, std::int32_t j, double bound)
{
    DeferredValues& values = state->lazy;
    KeyMerge merge{};
    merge.column = startcolumn(state, j);
    merge.shift = values.columnShift[j];
    merge.rowMask = values.rowMask;
    merge.phaseKey = values.phaseKey;
    merge.phaseOther = values.phaseOther;
    merge.phaseColumn = values.phaseColumn;
    merge.columnNumber = j;
    merge.freeLeast = values.free.least;
    merge.rowKey = rowkeys(&values.order);
    merge.rowShift = values.rowShift;
    merge.total = values.total;
    merge.bound = bound;
    merge.M = state->M;
    merge.improved = values.improvedRows;
    merge.improvedLimit = state->M / 8 + 1; // past M / 8 the row tree is rebuilt anyway
    merge.candidates = values.candidateRows;
    return merge;
}

// Merges rows [from, end) of column j with the vector unit's pass. The
// candidates for zeros are left in values.candidateRows, their number
// returned.
std::int32_t mergerows(MunkresState* state, std::int32_t j, std::int32_t from, std::int32_t end,
                       double bound)
{
    DeferredValues& values = state->lazy;
    KeyMerge merge = keymergerows(keymergeof(state, j, bound), from, end);
    state->passes->mergekeys(&merge);
    if (merge.improvedCount <= merge.improvedLimit) {
        for (std::int32_t k = 0; k < merge.improvedCount; ++k) merge.improved[k] += from;
    }
    rowkeyschanged(&values.order, merge.improved, merge.improvedCount);
    for (std::int32_t k = 0; k < merge.candidateCount; ++k) merge.candidates[k] += from;
    return merge.candidateCount;
}

// The candidates left by a merge that are exact zeros, from the first on:
// the first such row, or M.
std::int32_t firstexactzero(MunkresState* state, std::int32_t j, std::int32_t count)
{
    DeferredValues& values = state->lazy;
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t i = values.candidateRows[k];
        if (exactvalue(state, i, j) == 0.0) return i;
    }
    return state->M;
}

// Makes column j's list anew by a pass that only compares the column's
// starting costs with the rows' thresholds, far cheaper than a full merge:
// false when the list would be too long to keep, or the column's lists grew
// too long before (or their memory could not be had).
bool relistcolumn(MunkresState* state, std::int32_t j)
{
    DeferredValues& values = state->lazy;
    if (relevantlistrefused(values.relevant, j)) return false;
    const double* column = startcolumn(state, j);
    const double shift = values.columnShift[j];
    const std::int32_t count = state->passes->rowsatmost(column, shift, values.relevant.threshold,
                                                         state->M, values.listRows);
    return makerelevantlist(&values.relevant, j, shift, values.listRows, count, column);
}

// Merges the uncovered rows of column j's list, brought up to date; false
// when the list cannot be used. The candidates for zeros (within bound) are
// left in values.candidateRows, their number in *candidates.
bool mergelistedrows(MunkresState* state, std::int32_t j, double bound, std::int32_t* candidates)
{
    DeferredValues& values = state->lazy;
    const std::int32_t* rows = nullptr;
    const double* costs = nullptr;
    std::int32_t count = 0;
    prefetchrelevantrows(values.relevant, j, startcolumn(state, j));
    if (!updaterelevantlist(&values.relevant, j, startcolumn(state, j), &rows, &costs, &count)) {
        return false;
    }
    KeyMerge merge = keymergeof(state, j, bound);
    for (std::int32_t k = 0; k < count; ++k) {
        if (!state->rowCovered[rows[k]]) mergekeyrow(&merge, rows[k], costs[k]);
    }
    rowkeyschanged(&values.order, merge.improved, merge.improvedCount);
    *candidates = merge.candidateCount;
    return true;
}

// Column j's exact zeros among the first `candidates` of values.candidateRows
// go to step3's lists.
void listcandidatezeros(MunkresState* state, std::int32_t j, std::int32_t candidates)
{
    DeferredValues& values = state->lazy;
    std::int32_t zeros = 0;
    for (std::int32_t k = 0; k < candidates; ++k) {
        const std::int32_t i = values.candidateRows[k];
        if (exactvalue(state, i, j) == 0.0) values.rows[zeros++] = i;
    }
    if (zeros == 0) return;
    std::sort(values.rows, values.rows + zeros);
    openzerolist(&state->zeros, j);
    for (std::int32_t k = 0; k < zeros; ++k) addzero(&state->zeros, values.rows[k]);
    closezerolist(&state->zeros);
}

} // namespace

void deferredmerge(MunkresState* state, std::int32_t j)
{
    DeferredValues& values = state->lazy;
    // The column was covered, and took every shift, since its mark.
    values.columnShift[j] = values.columnShift[j] + (values.total - values.columnMark[j]);
    if (!beginspan(&values.history, state->M + j)) values.givenUp = true;
    // Before a phase's first shift (and many phases end without one) a
    // column without a usable list is not read: only its zeros are looked
    // for, and its keys are merged when a shift needs them.
    std::int32_t candidates = 0;
    if ((relevantlistusable(values.relevant, j) ||
         (values.phaseShifted && relistcolumn(state, j))) &&
        mergelistedrows(state, j, roundingbound(values), &candidates)) {
        listcandidatezeros(state, j, candidates);
        values.mergedUpTo[j] = state->M;
        return;
    }
    if (!values.phaseShifted) {
        values.mergedUpTo[j] = -1;
        values.pendingColumns[values.pendingCount++] = j;
    } else {
        values.mergedUpTo[j] = 0;
    }
    openscannedzerolist(&state->zeros, j, 0);
}

void mergependingcolumns(MunkresState* state)
{
    DeferredValues& values = state->lazy;
    for (std::int32_t k = 0; k < values.pendingCount; ++k) {
        const std::int32_t j = values.pendingColumns[k];
        std::int32_t candidates = 0;
        values.mergedUpTo[j] = state->M;
        if (relistcolumn(state, j) && mergelistedrows(state, j, -kInfinity, &candidates)) continue;
        mergerows(state, j, 0, state->M, -kInfinity);
    }
    values.pendingCount = 0;
}

// Called by step3 for the next zero of a column merged block by block, from
// row `from` on: first among the rows merged already, then merging on.
std::int32_t deferredfirstzero(MunkresState* state, std::int32_t j, std::int32_t from)
{
    DeferredValues& values = state->lazy;
    const double bound = roundingbound(values);
    // Among the rows merged already (all of them for a column whose merge
    // waits), the candidates are found by the vector unit's scan.
    const std::int32_t merged = values.mergedUpTo[j];
    // Before the run's first shift the working costs are the reduced ones,
    // whose zeros are known (and the column need not be written yet).
    if (merged < 0 && values.startZeros && values.history.shiftCount == 0) {
        return firststartzero(*values.startZeros, j, from, state->rowCovered);
    }
    const double* column = startcolumn(state, j);
    const double shift = values.columnShift[j];
    const std::int32_t scanned = merged < 0 ? state->M : merged;
    for (std::int32_t i = from;; ++i) {
        i = state->passes->firstcandidate(column, shift, values.rowMask, values.rowShift,
                                          values.total, bound, i, scanned);
        if (i == scanned) break;
        if (exactvalue(state, i, j) == 0.0) return i;
    }
    if (merged < 0 || merged == state->M) return state->M;
    // A first block, where a column rich in zeros mostly has what step3
    // needs, then the rest of the column at once.
    const std::int32_t end = merged == 0 && state->M > kFirstBlock ? kFirstBlock : state->M;
    const std::int32_t candidates = mergerows(state, j, merged, end, bound);
    values.mergedUpTo[j] = end;
    const std::int32_t zero = firstexactzero(state, j, candidates);
    if (zero < state->M || end == state->M) return zero;
    return deferredfirstzero(state, j, end);
}

// The margin of the lists must exceed what the approximations can err by
// (see relevant_rows.h): 2B and a few roundings of magnitudes below the
// largest cost plus 4V. When a shift made it too small, a wider one is
// taken, the lists are remade as they are next used, and the columns
// uncovered in this phase (every one merged in full by now) are merged again
// over every uncovered row, so that the rows' keys take in what the old
// lists left out.
void keeprelevancemargin(MunkresState* state)
{
    DeferredValues& values = state->lazy;
    const double scale = values.largestStart + 4 * values.total;
    const double needed =
        2 * roundingbound(values) + (values.shiftsMayRound ? 0x1p-49 * scale : 0.0);
    if (needed <= values.relevant.margin) return;
    const double grown = values.marginGrowth * needed;
    const double wide = values.marginScale * scale;
    const double margin = grown > wide ? grown : wide;
    setrelevancemargin(&values.relevant, values.free.least, margin);
    for (std::int32_t k = 0; k < state->phaseColumnCount; ++k) {
        mergerows(state, state->phaseColumns[k], 0, state->M, -kInfinity);
    }
}
