#include "munkres_steps.h"

#include <cmath>
#include <cstddef>

#include "work_memory.h"

namespace
{

std::int32_t* obtainindices(std::int32_t count, std::int32_t fill)
{
    auto* indices = static_cast<std::int32_t*>(
        workAllocate(static_cast<std::size_t>(count) * sizeof(std::int32_t)));
    if (indices) {
        for (std::int32_t k = 0; k < count; ++k) indices[k] = fill;
    }
    return indices;
}

// The lists of zeros hold, between two shifts, at most the zeros of the
// columns uncovered since: room for a few per column and row, and a scan
// past the last one kept when a list overflows.
std::size_t zerolistroom(std::int32_t M, std::int32_t N)
{
    return 2 * (static_cast<std::size_t>(M) + static_cast<std::size_t>(N)) + 1024;
}

void removefreecolumn(MunkresState* state, std::int32_t j)
{
    const std::int32_t place = state->freePosition[j];
    if (place == kNoMark) return;
    const std::int32_t last = state->freeColumns[--state->freeColumnCount];
    state->freeColumns[place] = last;
    state->freePosition[last] = place;
    state->freePosition[j] = kNoMark;
}

void coverrow(MunkresState* state, std::int32_t i)
{
    state->rowCovered[i] = 1;
    state->coveredRows[state->coveredRowCount++] = i;
    if (state->deferred) {
        deferredcoverrow(state, i);
    } else {
        densecoverrow(state, i);
    }
}

void uncovercolumn(MunkresState* state, std::int32_t j)
{
    state->columnCovered[j] = 0;
    state->phaseColumns[state->phaseColumnCount++] = j;
    if (state->deferred) {
        deferredmerge(state, j);
    } else {
        densemerge(state, j);
    }
}

// The first row of column j's list that is still uncovered, or M: a row
// listed as a zero may have been covered since.
std::int32_t firstuncoveredzero(MunkresState* state, std::int32_t j)
{
    for (;;) {
        std::int32_t scanFrom = -1;
        const std::int32_t row = nextlistedzero(&state->zeros, j, &scanFrom);
        if (row >= 0) {
            if (!state->rowCovered[row]) return row;
            continue;
        }
        if (scanFrom < 0) return state->M;
        const std::int32_t found = state->deferred ? deferredfirstzero(state, j, scanFrom)
                                                   : densefirstzero(*state, j, scanFrom);
        scannedzero(&state->zeros, j, found, state->M);
        return found;
    }
}

} // namespace

bool obtainstate(MunkresState* state, double* assignment, double* workCost, std::int32_t M,
                 std::int32_t N)
{
    *state = MunkresState{};
    state->assignment = assignment;
    state->workCost = workCost;
    state->M = M;
    state->N = N;
    state->targetPairs = M < N ? M : N;
    state->threads = 1;
    state->columnCovered =
        static_cast<unsigned char*>(workAllocateZeroed(static_cast<std::size_t>(N), 1));
    state->rowCovered =
        static_cast<unsigned char*>(workAllocateZeroed(static_cast<std::size_t>(M), 1));
    state->starColumnOfRow = obtainindices(M, kNoMark);
    state->starRowOfColumn = obtainindices(N, kNoMark);
    state->primeColumnOfRow = obtainindices(M, kNoMark);
    state->coveredRows = obtainindices(M, 0);
    state->phaseColumns = obtainindices(N, 0);
    state->freeColumns = obtainindices(N, 0);
    state->freePosition = obtainindices(N, kNoMark);
    const bool obtained = state->columnCovered && state->rowCovered && state->starColumnOfRow &&
                          state->starRowOfColumn && state->primeColumnOfRow && state->coveredRows &&
                          state->phaseColumns && state->freeColumns && state->freePosition &&
                          obtainzerolists(&state->zeros, N, zerolistroom(M, N));
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
    workRelease(state->coveredRows);
    workRelease(state->phaseColumns);
    workRelease(state->freeColumns);
    workRelease(state->freePosition);
    releasezerolists(&state->zeros);
    releasedensevalues(&state->dense);
    releasedeferredvalues(&state->lazy);
    *state = MunkresState{}; // nothing left to release twice
}

void setstar(MunkresState* state, std::int32_t row, std::int32_t column)
{
    state->starColumnOfRow[row] = column;
    state->starRowOfColumn[column] = row;
}

bool startmachine(MunkresState* state, const MachineOptions& options)
{
    state->passes = &columnPasses(options.unit);
    state->reduced = options.reduced;
    state->threads = options.threads < 1 ? 1 : options.threads;
    state->freeColumnCount = 0;
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->starRowOfColumn[j] != kNoMark) continue;
        state->freePosition[j] = state->freeColumnCount;
        state->freeColumns[state->freeColumnCount++] = j;
    }
    state->deferred = options.deferShifts && startdeferred(state, options);
    if (state->deferred) return true;
    writestartcosts(state); // the element-by-element machine writes every column
    if (!obtaindensevalues(state, state->threads)) return false;
    densephasestart(state);
    return true;
}

const double* startcolumn(MunkresState* state, std::int32_t j)
{
    const std::size_t offset = static_cast<std::size_t>(j) * static_cast<std::size_t>(state->M);
    if (!state->reduced) return state->workCost + offset;
    return reducedcolumn(state->reduced, state->workCost, j, *state->passes);
}

void writestartcosts(MunkresState* state)
{
    if (state->reduced) writereducedcosts(state->reduced, state->workCost, *state->passes);
}

double workcostof(MunkresState* state, std::int32_t i, std::int32_t j)
{
    if (state->deferred) return deferredworkcost(state, i, j);
    return state->workCost[static_cast<std::size_t>(i) +
                           static_cast<std::size_t>(j) * static_cast<std::size_t>(state->M)];
}

MunkresStep step2a(MunkresState* state)
{
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->starRowOfColumn[j] == kNoMark || state->columnCovered[j]) continue;
        state->columnCovered[j] = 1;
        if (state->deferred) deferredcovercolumn(state, j);
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

// A pass visits, in ascending order, only the columns whose list may still
// hold a zero in an uncovered row; columns without one would be passed over
// anyway. A column uncovered during the pass gets its list at once, and is
// visited in this pass if it lies ahead.
MunkresStep step3(MunkresState* state, std::int32_t* row, std::int32_t* column)
{
    bool primedInPass = true;
    while (primedInPass) {
        primedInPass = false;
        for (std::int32_t j = nextzerocolumn(state->zeros, 0); j < state->N;
             j = nextzerocolumn(state->zeros, j + 1)) {
            const std::int32_t i = firstuncoveredzero(state, j);
            if (i == state->M) continue;
            state->primeColumnOfRow[i] = j;
            const std::int32_t star = state->starColumnOfRow[i];
            if (star == kNoMark) {
                *row = i;
                *column = j;
                return MunkresStep::step4;
            }
            coverrow(state, i);
            uncovercolumn(state, star);
            if (state->deferred && deferredgivenup(*state)) return MunkresStep::abandoned;
            primedInPass = true;
        }
    }
    return MunkresStep::step5;
}

// The columns along the path are distinct (each prime on it was set before the
// one that leads to it), so the stars can be moved in place: the star of
// column j is read before column j gets its new star. The path ends in a
// column that had no star: it leaves the columns without one.
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
    state->primeColumnOfRow[row] = kNoMark;
    for (std::int32_t k = 0; k < state->coveredRowCount; ++k) {
        const std::int32_t r = state->coveredRows[k];
        state->primeColumnOfRow[r] = kNoMark;
        state->rowCovered[r] = 0;
        if (state->deferred) {
            deferreduncoverrow(state, r);
        } else {
            denseuncoverrow(state, r);
        }
    }
    state->coveredRowCount = 0;
    removefreecolumn(state, j);
    clearzerolists(&state->zeros);
    if (state->deferred) {
        deferredphasestart(state, j);
    } else {
        densephasestart(state);
    }
    state->phaseColumnCount = 0;
    return MunkresStep::step2a;
}

MunkresStep step5(MunkresState* state)
{
    if (!state->deferred) {
        if (!denseshift(state)) return MunkresStep::overflowed;
        ++state->shiftsRun;
        return MunkresStep::step3;
    }
    const MunkresStep next = deferredshift(state);
    if (next == MunkresStep::step3) ++state->shiftsRun;
    return next;
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
