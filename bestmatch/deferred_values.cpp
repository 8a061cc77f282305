#include "deferred_values.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "munkres_steps.h"
#include "work_memory.h"

namespace
{

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// u_i now: a covered row has taken every shift since it was covered.
double rowshiftnow(const MunkresState& state, std::int32_t i)
{
    const DeferredValues& values = state.lazy;
    if (!state.rowCovered[i]) return values.rowShift[i];
    return values.rowShift[i] + (values.total - values.rowMark[i]);
}

// D_j now: a covered column has taken every shift since it was covered.
double columnshiftnow(const MunkresState& state, std::int32_t j)
{
    const DeferredValues& values = state.lazy;
    if (!state.columnCovered[j]) return values.columnShift[j];
    return values.columnShift[j] + (values.total - values.columnMark[j]);
}

// The approximation of an element from its key (c + D_j) and its row's sum.
double approximationofkey(const DeferredValues& values, double key, double rowShift)
{
    return (key + rowShift) - values.total;
}

double approximation(const MunkresState& state, std::int32_t i, std::int32_t j)
{
    const double key = startcostat(state, i, j) + columnshiftnow(state, j);
    return approximationofkey(state.lazy, key, rowshiftnow(state, i));
}

} // namespace

double roundingbound(const DeferredValues& values)
{
    if (!values.shiftsMayRound) return 0.0;
    const auto shifts = static_cast<double>(values.history.shiftCount);
    return (shifts + 1) * 0x1p-48 * (values.largestStart + 4 * values.total);
}

double exactvalue(MunkresState* state, std::int32_t i, std::int32_t j)
{
    if (!state->lazy.shiftsMayRound) return approximation(*state, i, j);
    return exactworkcost(&state->lazy.history, i, j, startcostat(*state, i, j));
}

namespace
{

// The key of row i for the tree: its least element over the uncovered
// columns, with the row's sum; +Inf for a covered row.
double rowkeyof(const MunkresState& state, std::int32_t i)
{
    const DeferredValues& values = state.lazy;
    if (state.rowCovered[i]) return kInfinity;
    const double free = freeleast(values.free, i);
    const double phase = values.phaseKey[i];
    return (phase < free ? phase : free) + values.rowShift[i];
}

void rebuildrowtree(MunkresState* state)
{
    DeferredValues& values = state->lazy;
    for (std::int32_t i = 0; i < state->M; ++i) values.keys[i] = rowkeyof(*state, i);
    buildrowtree(&values.order, values.keys);
}

// Appends the pair (i, j) to a growing block of pairs; false when it cannot
// grow.
bool addpair(std::int32_t** pairs, std::size_t* capacity, std::size_t* count, std::int32_t i,
             std::int32_t j)
{
    if (*count == *capacity) {
        const std::size_t wanted = 2 * *capacity + 64;
        auto* larger = static_cast<std::int32_t*>(workAllocate(2 * wanted * sizeof(std::int32_t)));
        if (!larger) return false;
        if (*count > 0) std::memcpy(larger, *pairs, 2 * *count * sizeof(std::int32_t));
        workRelease(*pairs);
        *pairs = larger;
        *capacity = wanted;
    }
    (*pairs)[2 * *count] = i;
    (*pairs)[2 * *count + 1] = j;
    ++*count;
    return true;
}

// Appends (i, j) to the candidates of a decision.
bool addelement(DeferredValues* values, std::size_t* count, std::int32_t i, std::int32_t j)
{
    return addpair(&values->elements, &values->elementCapacity, count, i, j);
}

bool addzeropair(DeferredValues* values, std::size_t* count, std::int32_t i, std::int32_t j)
{
    return addpair(&values->zeroPairs, &values->zeroPairCapacity, count, i, j);
}

// The columns without a star where row i's approximation is at most upper.
// The entries come in ascending order of starting cost, and so of
// approximation; past them, the floor tells whether another column can.
bool freecandidates(MunkresState* state, std::int32_t i, double upper, std::size_t* count)
{
    DeferredValues& values = state->lazy;
    const FreeLeasts& free = values.free;
    const double rowShift = values.rowShift[i];
    const std::int32_t entries = free.count[i];
    const std::size_t before = *count;
    for (std::int32_t k = 0; k < entries; ++k) {
        const std::size_t at = freeentry(i, k);
        if (approximationofkey(values, free.key[at], rowShift) > upper) return true;
        if (!addelement(&values, count, i, free.column[at])) return false;
    }
    if (!(approximationofkey(values, free.floor[i], rowShift) <= upper)) return true;
    // More columns may qualify than the entries hold: the whole row.
    *count = before;
    values.verifiedOperations += static_cast<std::uint64_t>(state->freeColumnCount);
    for (std::int32_t f = 0; f < state->freeColumnCount; ++f) {
        const std::int32_t j = state->freeColumns[f];
        if (approximation(*state, i, j) <= upper && !addelement(&values, count, i, j)) return false;
    }
    return true;
}

// The starred columns uncovered in this phase where row i's approximation is
// at most upper: the column of the row's least key, and the others only when
// the lower bound of their keys says one of them may qualify too.
bool phasecandidates(MunkresState* state, std::int32_t i, double upper, std::size_t* count)
{
    DeferredValues& values = state->lazy;
    const double rowShift = values.rowShift[i];
    if (!(approximationofkey(values, values.phaseKey[i], rowShift) <= upper)) return true;
    if (!(approximationofkey(values, values.phaseOther[i], rowShift) <= upper)) {
        return addelement(&values, count, i, static_cast<std::int32_t>(values.phaseColumn[i]));
    }
    values.verifiedOperations += static_cast<std::uint64_t>(state->phaseColumnCount);
    for (std::int32_t k = 0; k < state->phaseColumnCount; ++k) {
        const std::int32_t j = state->phaseColumns[k];
        if (approximation(*state, i, j) <= upper && !addelement(&values, count, i, j)) return false;
    }
    return true;
}

// The rows whose least approximation over the uncovered columns may be at
// most upper, where the least key is `least`: keys are approximations plus V.
std::int32_t candidaterows(MunkresState* state, double upper)
{
    DeferredValues& values = state->lazy;
    // a = key - V is monotone in key; the margin covers its rounding.
    double threshold = upper + values.total;
    if (values.shiftsMayRound) threshold += 0x1p-50 * (std::fabs(upper) + values.total);
    return rowsatmostkey(&values.order, threshold, values.rows, state->M);
}

// The zeros of the columns without a star, every row uncovered: at the start
// of the run and of every phase. Only rows whose least approximation there
// is within the bound of zero can hold one.
void listfreezeros(MunkresState* state)
{
    DeferredValues& values = state->lazy;
    const double bound = roundingbound(values);
    const std::int32_t rows = candidaterows(state, bound);
    std::size_t pairs = 0;
    for (std::int32_t r = 0; r < rows; ++r) {
        const std::int32_t i = values.rows[r];
        std::size_t count = 0;
        if (!freecandidates(state, i, bound, &count)) {
            values.givenUp = true;
            return;
        }
        for (std::size_t k = 0; k < count; ++k) {
            const std::int32_t j = values.elements[2 * k + 1];
            if (exactvalue(state, i, j) == 0.0 && !addzeropair(&values, &pairs, i, j)) {
                values.givenUp = true;
                return;
            }
        }
    }
    addzeropairs(&state->zeros, values.zeroPairs, pairs);
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

// Finds the largest starting cost and the grain, at the first shift (a run
// without shifts never pays for the scan). The scan of the grain stops as
// soon as the grain is so fine that not even the largest cost fits below
// 2^52 grains: then every shift may round (exactBelow = 0).
void measuregrain(MunkresState* state)
{
    DeferredValues& values = state->lazy;
    writestartcosts(state);
    const std::size_t elements =
        static_cast<std::size_t>(state->M) * static_cast<std::size_t>(state->N);
    double largest = 0.0;
    for (std::size_t k = 0; k < elements; ++k) {
        if (state->workCost[k] > largest) largest = state->workCost[k];
    }
    values.largestStart = largest;
    values.exactBelow = 0.0;
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
    values.exactBelow = std::ldexp(1.0, 53 + grain); // +Inf past the largest exponent
}

// Whether a shift by h keeps every sum exact: every cost and shift is a
// multiple of the grain, and the largest cost plus the sum of all shifts
// stays below 2^52 grains.
bool shiftstaysexact(const DeferredValues& values, double h)
{
    const double largest = values.largestStart + (values.total + h);
    return std::isfinite(largest) && largest <= 0.5 * values.exactBelow;
}

// What verifying decisions may cost before the run is abandoned, in
// elements tested and shifts replayed: the share verificationShare of what
// the shifts made so far cost the element-by-element machine, and four
// passes over the matrix.
bool verificationaffordable(const MunkresState& state)
{
    const DeferredValues& values = state.lazy;
    const double elements = static_cast<double>(state.M) * static_cast<double>(state.N);
    const double shifts = static_cast<double>(values.history.shiftCount);
    const double allowance = elements * (values.verificationShare * shifts + 4);
    // A replayed shift costs a few times what one element of a pass does.
    const double spent = static_cast<double>(values.verifiedOperations) +
                         4 * static_cast<double>(values.history.replayedOperations);
    return spent <= allowance;
}

} // namespace

bool startdeferred(MunkresState* state, const MachineOptions& options)
{
    DeferredValues& values = state->lazy;
    values = DeferredValues{};
    const std::int32_t M = state->M;
    const std::int32_t N = state->N;
    const auto rows = static_cast<std::size_t>(M);
    const auto columns = static_cast<std::size_t>(N);
    values.rowShift = static_cast<double*>(workAllocateZeroed(rows, sizeof(double)));
    values.rowMark = static_cast<double*>(workAllocateZeroed(rows, sizeof(double)));
    values.columnShift = static_cast<double*>(workAllocateZeroed(columns, sizeof(double)));
    values.columnMark = static_cast<double*>(workAllocateZeroed(columns, sizeof(double)));
    values.phaseKey = static_cast<double*>(workAllocate(rows * sizeof(double)));
    values.phaseOther = static_cast<double*>(workAllocate(rows * sizeof(double)));
    values.phaseColumn = static_cast<double*>(workAllocate(rows * sizeof(double)));
    values.rowMask = static_cast<double*>(workAllocateZeroed(rows, sizeof(double)));
    values.pendingColumns =
        static_cast<std::int32_t*>(workAllocate(columns * sizeof(std::int32_t)));
    values.mergedUpTo =
        static_cast<std::int32_t*>(workAllocateZeroed(columns, sizeof(std::int32_t)));
    values.improvedRows = static_cast<std::int32_t*>(workAllocate(rows * sizeof(std::int32_t)));
    values.candidateRows = static_cast<std::int32_t*>(workAllocate(rows * sizeof(std::int32_t)));
    values.rows = static_cast<std::int32_t*>(workAllocate(rows * sizeof(std::int32_t)));
    values.listRows = static_cast<std::int32_t*>(workAllocate(rows * sizeof(std::int32_t)));
    values.keys = static_cast<double*>(workAllocate(rows * sizeof(double)));
    bool obtained =
        values.rowShift && values.rowMark && values.columnShift && values.columnMark &&
        values.phaseKey && values.phaseOther && values.phaseColumn && values.rowMask &&
        values.mergedUpTo && values.pendingColumns && values.improvedRows && values.candidateRows &&
        values.rows && values.listRows && values.keys && obtainfreeleasts(&values.free, M, N) &&
        obtainrelevantrows(&values.relevant, M, N) &&
        obtainrowtree(&values.order, M, *state->passes) && obtainhistory(&values.history, M, N);
    for (std::int32_t k = 0; obtained && k < state->freeColumnCount; ++k) {
        obtained = beginspan(&values.history, M + state->freeColumns[k]);
    }
    if (!obtained) {
        releasedeferredvalues(&values);
        return false;
    }
    values.exactBelow = -1.0; // the grain is measured at the first shift
    values.verificationShare = 1.0 / 16;
    values.candidateLimit = 64 + (rows + columns) / 8;
    values.marginGrowth = 4;
    values.marginScale = 0x1p-24;
    values.abandonAtShift = options.abandonAtShift;
    values.startZeros =
        options.startZeros && options.startZeros->complete ? options.startZeros : nullptr;
    for (std::int32_t i = 0; i < M; ++i) {
        values.phaseKey[i] = values.phaseOther[i] = kInfinity;
        values.phaseColumn[i] = -1.0;
    }
    // The free leasts read only the columns without a star, and the set
    // only shrinks: these columns are written now, once.
    for (std::int32_t k = 0; k < state->freeColumnCount; ++k) {
        startcolumn(state, state->freeColumns[k]);
    }
    buildfreeleasts(&values.free, state->workCost, state->freeColumns, state->freeColumnCount,
                    *state->passes);
    setrelevancemargin(&values.relevant, values.free.least, 0.0);
    rebuildrowtree(state);
    listfreezeros(state);
    return !values.givenUp;
}

void releasedeferredvalues(DeferredValues* values)
{
    workRelease(values->rowShift);
    workRelease(values->rowMark);
    workRelease(values->columnShift);
    workRelease(values->columnMark);
    workRelease(values->phaseKey);
    workRelease(values->phaseOther);
    workRelease(values->phaseColumn);
    workRelease(values->rowMask);
    workRelease(values->mergedUpTo);
    workRelease(values->pendingColumns);
    workRelease(values->improvedRows);
    workRelease(values->candidateRows);
    workRelease(values->rows);
    workRelease(values->listRows);
    workRelease(values->keys);
    workRelease(values->elements);
    workRelease(values->zeroPairs);
    releasefreeleasts(&values->free);
    releaserowtree(&values->order);
    releaserelevantrows(&values->relevant);
    releasehistory(&values->history);
    *values = DeferredValues{};
}

void deferredphasestart(MunkresState* state, std::int32_t starred)
{
    DeferredValues& values = state->lazy;
    const std::int32_t risen =
        dropfreecolumn(&values.free, starred, state->workCost, state->freeColumns,
                       state->freeColumnCount, *state->passes, values.rows);
    logrisenthresholds(&values.relevant, values.rows, risen, values.free.least);
    values.pendingCount = 0;
    values.phaseShifted = false;
    for (std::int32_t i = 0; i < state->M; ++i) {
        values.phaseKey[i] = values.phaseOther[i] = kInfinity;
        values.phaseColumn[i] = -1.0;
    }
    rebuildrowtree(state);
    listfreezeros(state);
}

void deferredcoverrow(MunkresState* state, std::int32_t i)
{
    DeferredValues& values = state->lazy;
    values.rowMark[i] = values.total;
    values.rowMask[i] = std::numeric_limits<double>::quiet_NaN();
    setrowkey(&values.order, i, kInfinity);
    if (!beginspan(&values.history, i)) values.givenUp = true;
}

void deferreduncoverrow(MunkresState* state, std::int32_t i)
{
    DeferredValues& values = state->lazy;
    values.rowShift[i] = values.rowShift[i] + (values.total - values.rowMark[i]);
    values.rowMask[i] = 0.0;
    endspan(&values.history, i);
}

void deferredcovercolumn(MunkresState* state, std::int32_t j)
{
    DeferredValues& values = state->lazy;
    values.columnMark[j] = values.total;
    endspan(&values.history, state->M + j);
}

// The least exact working cost h over the uncovered rows and columns: the
// least key bounds it from above (h <= least approximation + B), so only
// the elements whose approximation lies within 2B of the least approximation
// can hold it, and only they are rebuilt exactly. Those equal to h are the
// zeros the shift makes (x - h is zero only for x == h).
MunkresStep deferredshift(MunkresState* state)
{
    DeferredValues& values = state->lazy;
    if (values.abandonAtShift != 0 && state->shiftsRun + 1 == values.abandonAtShift) {
        return MunkresStep::abandoned;
    }
    if (values.exactBelow < 0) measuregrain(state);
    mergependingcolumns(state);
    const double least = leastrowkey(&values.order);
    if (!(least < kInfinity)) return MunkresStep::overflowed;
    const double bound = roundingbound(values);
    const double upper = (least - values.total) + 2 * bound;
    const std::int32_t rows = candidaterows(state, upper);
    std::size_t count = 0;
    for (std::int32_t r = 0; r < rows; ++r) {
        const std::int32_t i = values.rows[r];
        if (!freecandidates(state, i, upper, &count) || !phasecandidates(state, i, upper, &count)) {
            return MunkresStep::abandoned;
        }
    }
    double h = kInfinity;
    for (std::size_t k = 0; k < count; ++k) {
        const double x = exactvalue(state, values.elements[2 * k], values.elements[2 * k + 1]);
        if (x < h) h = x;
    }
    values.verifiedOperations += count;
    // Near ties everywhere: deferring cannot pay, and the sooner the run
    // starts over element by element the less it has cost.
    if (values.shiftsMayRound && count > values.candidateLimit) return MunkresStep::abandoned;
    if (!std::isfinite(h)) return MunkresStep::overflowed;
    if (values.shiftsMayRound && !verificationaffordable(*state)) return MunkresStep::abandoned;
    const double total = values.total + h;
    if (!(values.largestStart + 4 * total < 0x1p1000)) return MunkresStep::abandoned;
    if (!values.shiftsMayRound && !shiftstaysexact(values, h)) values.shiftsMayRound = true;
    if (!recordshift(&values.history, h)) return MunkresStep::abandoned;
    values.total = total;
    values.phaseShifted = true;
    keeprelevancemargin(state);
    // The new zeros, as pairs for the lists; they are known exactly now.
    clearzerolists(&state->zeros);
    std::size_t pairs = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const std::int32_t i = values.elements[2 * k];
        const std::int32_t j = values.elements[2 * k + 1];
        if (exactvalue(state, i, j) == 0.0 && !addzeropair(&values, &pairs, i, j)) {
            return MunkresStep::abandoned;
        }
    }
    addzeropairs(&state->zeros, values.zeroPairs, pairs);
    return MunkresStep::step3;
}

double deferredworkcost(MunkresState* state, std::int32_t i, std::int32_t j)
{
    if (!state->lazy.shiftsMayRound) return approximation(*state, i, j);
    std::uint64_t operations = 0;
    return replayedworkcost(state->lazy.history, i, j, startcostat(*state, i, j), &operations);
}

bool deferredgivenup(const MunkresState& state) { return state.lazy.givenUp; }
