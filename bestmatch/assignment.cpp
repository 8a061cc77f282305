#include "assignment.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "column_passes.h"
#include "munkres_steps.h"
#include "parallel.h"
#include "work_memory.h"

namespace
{

// Element count and byte size of the working copy; false when the copy could
// not be addressed.
bool workcostsize(std::int32_t M, std::int32_t N, std::size_t* elements, std::size_t* bytes)
{
    const auto rows = static_cast<std::size_t>(M);
    const auto columns = static_cast<std::size_t>(N);
    const std::size_t mostElements =
        static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()) / sizeof(double);
    if (columns != 0 && rows > mostElements / columns) return false;
    *elements = rows * columns;
    *bytes = *elements * sizeof(double);
    return true;
}

// What the copy learnt of the finite costs, for the replacement of the
// infinite ones: the largest (-1 when none is finite) and whether any cost is
// not finite.
struct CostRange {
    double maxFinite;
    bool sawInfinite;
};

// Copies the costs in storage order. The first negative finite cost stops the
// copy; NaN is reported only after the whole sign check, so a negative cost
// anywhere gets its own message. Infinities of either sign pass, as does -0.0.
const char* copyandcheck(double* workCost, const double* costs, std::size_t elements,
                         const ColumnPasses& passes, CostRange* range)
{
    bool sawNan = false;
    double maxFinite = -1.0; // no finite cost seen yet; every finite cost is >= 0 here
    bool sawInfinite = false;
    if (!passes.copycosts(workCost, costs, elements, &maxFinite, &sawInfinite, &sawNan)) {
        return kNegativeCostMessage;
    }
    *range = CostRange{maxFinite, sawInfinite};
    return sawNan ? kNanCostMessage : nullptr;
}

// Gives infinite costs (of either sign) the value maxFinite * 10 * E, or 10
// when every finite cost is zero: dearer than any set of finite pairs, so the
// solution uses as few of them as it can. Sets *nothingFinite, replacing
// nothing, when no cost is finite.
const char* replaceinfinitecosts(double* workCost, std::size_t elements, const CostRange& range,
                                 bool* nothingFinite)
{
    if (!range.sawInfinite) return nullptr;
    if (range.maxFinite == -1.0) {
        *nothingFinite = true;
        return nullptr;
    }
    const double replacement =
        range.maxFinite > 0 ? range.maxFinite * 10 * static_cast<double>(elements) : 10.0;
    if (!std::isfinite(replacement)) return kReplacementOverflowMessage;
    for (std::size_t k = 0; k < elements; ++k) {
        if (std::isinf(workCost[k])) workCost[k] = replacement;
    }
    return nullptr;
}

// Subtracts from every row its least element (M <= N, so N >= 1 here). The
// matrix is read in storage order, column after column: each row's least is
// still taken over its columns in ascending order with the same comparison.
// firstZero[i] receives the first column where row i is zero afterwards (N
// when none), for placestarsbyrow.
void reducerows(double* workCost, std::int32_t M, std::int32_t N, const ColumnPasses& passes,
                double* least, std::int32_t* firstZero)
{
    const auto rows = static_cast<std::size_t>(M);
    for (std::size_t i = 0; i < rows; ++i) least[i] = workCost[i];
    for (std::int32_t j = 1; j < N; ++j) {
        passes.lowerleast(workCost + static_cast<std::size_t>(j) * rows, M, least);
    }
    for (std::size_t i = 0; i < rows; ++i) firstZero[i] = N;
    for (std::int32_t j = 0; j < N; ++j) {
        passes.subtractleast(workCost + static_cast<std::size_t>(j) * rows, least, M, firstZero, j,
                             N);
    }
}

// Subtracts from every column its least element (M > N, so M >= 1 here).
void reducecolumns(double* workCost, std::int32_t M, std::int32_t N)
{
    const auto rows = static_cast<std::size_t>(M);
    const auto columns = static_cast<std::size_t>(N);
    for (std::size_t j = 0; j < columns; ++j) {
        double* column = workCost + j * rows;
        double least = column[0];
        for (std::size_t i = 1; i < rows; ++i) {
            if (least > column[i]) least = column[i];
        }
        for (std::size_t i = 0; i < rows; ++i) column[i] = column[i] - least;
    }
}

double workcostat(const MunkresState& state, std::int32_t i, std::int32_t j)
{
    return state.workCost[static_cast<std::size_t>(i) +
                          static_cast<std::size_t>(j) * static_cast<std::size_t>(state.M)];
}

void starandcover(MunkresState* state, std::int32_t i, std::int32_t j)
{
    setstar(state, i, j);
    state->columnCovered[j] = 1;
}

// Each row, in order, stars its first zero in a column that holds no star yet:
// from the row's first zero on (firstZero, from the reduction), across the
// row only when that column has its star already.
void placestarsbyrow(MunkresState* state, const std::int32_t* firstZero)
{
    for (std::int32_t i = 0; i < state->M; ++i) {
        for (std::int32_t j = firstZero[i]; j < state->N; ++j) {
            if (workcostat(*state, i, j) == 0.0 && !state->columnCovered[j]) {
                starandcover(state, i, j);
                break;
            }
        }
    }
}

// Each column, in order, stars its first zero in a row that holds no star yet.
void placestarsbycolumn(MunkresState* state)
{
    for (std::int32_t j = 0; j < state->N; ++j) {
        for (std::int32_t i = 0; i < state->M; ++i) {
            if (workcostat(*state, i, j) == 0.0 && state->starColumnOfRow[i] == kNoMark) {
                starandcover(state, i, j);
                break;
            }
        }
    }
}

// Places the first stars on the reduced working costs and runs the step
// machine as options say. Sets *noMemory when the state cannot be had.
MunkresOutcome runmachine(double* assignment, double* workCost, std::int32_t M, std::int32_t N,
                          const std::int32_t* firstZero, const MachineOptions& options,
                          bool* noMemory)
{
    MunkresState state;
    if (!obtainstate(&state, assignment, workCost, M, N)) {
        *noMemory = true;
        return MunkresOutcome::abandoned;
    }
    if (M <= N) {
        placestarsbyrow(&state, firstZero);
    } else {
        placestarsbycolumn(&state);
    }
    if (!startmachine(&state, options)) {
        releasestate(&state);
        *noMemory = true;
        return MunkresOutcome::abandoned;
    }
    std::uint64_t stepsRun = 0;
    const MunkresOutcome outcome = runstepmachine(&state, steplimit(state.targetPairs), &stepsRun);
    releasestate(&state);
    return outcome;
}

// Reduces the prepared working costs, runs the step machine and totals the
// caller's costs of the chosen pairs. A run with deferred shifts that gives
// up leaves the working costs as it found them, and the machine starts over,
// shifting element by element.
const char* solve(double* assignment, double* cost, const double* costs, double* workCost,
                  std::int32_t M, std::int32_t N, const MachineOptions& options)
{
    const auto rows = static_cast<std::size_t>(M);
    auto* least = static_cast<double*>(workAllocate(rows * sizeof(double)));
    auto* firstZero = static_cast<std::int32_t*>(workAllocate(rows * sizeof(std::int32_t)));
    bool noMemory = !least || !firstZero;
    MunkresOutcome outcome = MunkresOutcome::abandoned;
    if (!noMemory) {
        if (M <= N) {
            reducerows(workCost, M, N, columnPasses(options.unit), least, firstZero);
        } else {
            reducecolumns(workCost, M, N);
        }
        outcome = runmachine(assignment, workCost, M, N, firstZero, options, &noMemory);
    }
    if (outcome == MunkresOutcome::abandoned && !noMemory) {
        MachineOptions elementByElement = options;
        elementByElement.deferShifts = false;
        for (std::int32_t i = 0; i < M; ++i) assignment[i] = 0.0;
        outcome = runmachine(assignment, workCost, M, N, firstZero, elementByElement, &noMemory);
    }
    workRelease(least);
    workRelease(firstZero);
    if (noMemory) return kAssignmentMemoryMessage;
    if (outcome == MunkresOutcome::overflowed) return kWorkOverflowMessage;
    if (outcome == MunkresOutcome::stepLimitReached) return kStepLimitMessage;
    computeassignmentcost(assignment, cost, costs, M);
    return nullptr;
}

void solveassignment(double* assignment, double* cost, const double* costs, std::int32_t M,
                     std::int32_t N, const char** failure, const MachineOptions& options)
{
    *cost = 0.0;
    for (std::int32_t i = 0; i < M; ++i) assignment[i] = 0.0;
    // Without elements there is nothing to pair: the cleared results are the
    // answer, and no working memory is set up however large the other count.
    if (M == 0 || N == 0) return;
    std::size_t elements = 0;
    std::size_t bytes = 0;
    if (!workcostsize(M, N, &elements, &bytes)) {
        *failure = kMatrixTooLargeMessage;
        return;
    }
    auto* workCost = static_cast<double*>(workAllocate(bytes));
    if (!workCost) {
        *failure = kAssignmentMemoryMessage;
        return;
    }
    bool nothingFinite = false;
    CostRange range{};
    const char* problem =
        copyandcheck(workCost, costs, elements, columnPasses(options.unit), &range);
    if (!problem) problem = replaceinfinitecosts(workCost, elements, range, &nothingFinite);
    if (!problem && !nothingFinite) {
        problem = solve(assignment, cost, costs, workCost, M, N, options);
    }
    workRelease(workCost);
    if (problem) *failure = problem;
}

} // namespace

void bestmatch(double* assignment, double* cost, const double* costs, std::int32_t M,
               std::int32_t N, const char** failure)
{
    solveassignment(assignment, cost, costs, M, N, failure,
                    MachineOptions{true, widestVectorUnit(), configuredThreads(), 0});
}

void bestmatchwith(double* assignment, double* cost, const double* costs, std::int32_t M,
                   std::int32_t N, const BestmatchOptions& options, const char** failure)
{
    solveassignment(
        assignment, cost, costs, M, N, failure,
        MachineOptions{options.deferShifts, options.unit, options.threads, options.abandonAtShift});
}

void bestmatchonunit(double* assignment, double* cost, const double* costs, std::int32_t M,
                     std::int32_t N, VectorUnit unit, const char** failure)
{
    solveassignment(assignment, cost, costs, M, N, failure, MachineOptions{true, unit, 1, 0});
}

void bestmatchstepbystep(double* assignment, double* cost, const double* costs, std::int32_t M,
                         std::int32_t N, const char** failure)
{
    solveassignment(assignment, cost, costs, M, N, failure,
                    MachineOptions{false, widestVectorUnit(), configuredThreads(), 0});
}

void bestmatchstartingover(double* assignment, double* cost, const double* costs, std::int32_t M,
                           std::int32_t N, std::uint64_t abandonAtShift, const char** failure)
{
    solveassignment(assignment, cost, costs, M, N, failure,
                    MachineOptions{true, widestVectorUnit(), 1, abandonAtShift});
}
