#include "assignment.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "column_passes.h"
#include "munkres_steps.h"
#include "parallel.h"
#include "start_zeros.h"
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

// Checks the costs in storage order, column by column, and copies them into
// workCost when it is given. The first negative finite cost stops the pass;
// NaN is reported only after the whole sign check, so a negative cost
// anywhere gets its own message. Infinities of either sign pass, as does
// -0.0. When least is given (a row reduction is to follow), each column also
// lowers the rows' leasts while it is fresh in the cache: each row's least
// taken over ascending columns with the same comparison as across the row.
const char* copyandcheck(double* workCost, const double* costs, std::int32_t M, std::int32_t N,
                         const ColumnPasses& passes, double* least, CostRange* range)
{
    bool sawNan = false;
    double maxFinite = -1.0; // no finite cost seen yet; every finite cost is >= 0 here
    bool sawInfinite = false;
    const auto rows = static_cast<std::size_t>(M);
    for (std::int32_t j = 0; j < N; ++j) {
        double* column = workCost ? workCost + static_cast<std::size_t>(j) * rows : nullptr;
        const double* from = costs + static_cast<std::size_t>(j) * rows;
        if (!passes.copycosts(column, from, rows, &maxFinite, &sawInfinite, &sawNan)) {
            return kNegativeCostMessage;
        }
        if (!least) continue;
        if (j == 0) {
            for (std::size_t i = 0; i < rows; ++i) least[i] = from[i];
        } else {
            passes.lowerleast(from, M, least);
        }
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

// The rows' leasts again, after infinite costs were replaced.
void findrowleasts(const double* workCost, std::int32_t M, std::int32_t N,
                   const ColumnPasses& passes, double* least)
{
    const auto rows = static_cast<std::size_t>(M);
    for (std::size_t i = 0; i < rows; ++i) least[i] = workCost[i];
    for (std::int32_t j = 1; j < N; ++j) {
        passes.lowerleast(workCost + static_cast<std::size_t>(j) * rows, M, least);
    }
}

// Writes the row-reduced costs, source minus each row's least (M <= N, so N
// >= 1 here), into workCost (source may be workCost itself), and keeps their
// zeros in `zeros` as far as it has room. rows: scratch of M rows.
void reducerows(double* workCost, const double* source, std::int32_t M, std::int32_t N,
                const ColumnPasses& passes, const double* least, StartZeros* zeros,
                std::int32_t* rows)
{
    const auto count = static_cast<std::size_t>(M);
    for (std::int32_t j = 0; j < N; ++j) {
        const std::size_t offset = static_cast<std::size_t>(j) * count;
        const std::int32_t found =
            passes.subtractleast(workCost + offset, source + offset, least, M, rows);
        addcolumnzeros(zeros, j, rows, found);
    }
    finishstartzeros(zeros);
}

// Finds the zeros of the row-reduced costs without writing them (the rows
// whose cost is their least: source minus least is zero exactly there), for
// a run that writes each column as it first reads it. That pays where the
// zeros may hold the whole answer, so that the run may never shift: false,
// the zeros left unfinished, when the first columns show few zeros (about
// one a row, as spread costs have: the first shift then writes every
// column, and this pass would only add a read of the matrix), or when the
// zeros are too many to keep.
bool findreducedzeros(const double* source, std::int32_t M, std::int32_t N,
                      const ColumnPasses& passes, const double* least, StartZeros* zeros,
                      std::int32_t* rows)
{
    constexpr std::int32_t kProbedColumns = 64;
    constexpr std::size_t kZerosPerProbedColumn = 4;
    const auto count = static_cast<std::size_t>(M);
    for (std::int32_t j = 0; j < N && zeros->complete; ++j) {
        if (j == kProbedColumns && zeros->count < kZerosPerProbedColumn * kProbedColumns) {
            return false;
        }
        const double* column = source + static_cast<std::size_t>(j) * count;
        addcolumnzeros(zeros, j, rows, passes.rowsatmost(column, 0.0, least, M, rows));
    }
    finishstartzeros(zeros);
    return zeros->complete;
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

void starandcover(MunkresState* state, std::int32_t i, std::int32_t j)
{
    setstar(state, i, j);
    state->columnCovered[j] = 1;
}

// Each row, in order, stars its first zero in a column that holds no star
// yet: along its zeros from the reduction, or across the row when they were
// too many to keep.
void placestarsbyrow(MunkresState* state, const StartZeros& zeros)
{
    for (std::int32_t i = 0; i < state->M; ++i) {
        if (zeros.complete) {
            for (std::size_t k = zeros.rowStart[i]; k < zeros.rowStart[i + 1]; ++k) {
                const std::int32_t j = zeros.columns[k];
                if (state->columnCovered[j]) continue;
                starandcover(state, i, j);
                break;
            }
            continue;
        }
        for (std::int32_t j = 0; j < state->N; ++j) {
            if (startcostat(*state, i, j) == 0.0 && !state->columnCovered[j]) {
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
            if (startcostat(*state, i, j) == 0.0 && state->starColumnOfRow[i] == kNoMark) {
                starandcover(state, i, j);
                break;
            }
        }
    }
}

// Places the first stars on the reduced working costs and runs the step
// machine as options say. Sets *noMemory when the state cannot be had.
MunkresOutcome runmachine(double* assignment, double* workCost, std::int32_t M, std::int32_t N,
                          const StartZeros& zeros, const MachineOptions& options, bool* noMemory)
{
    MunkresState state;
    if (!obtainstate(&state, assignment, workCost, M, N)) {
        *noMemory = true;
        return MunkresOutcome::abandoned;
    }
    state.reduced = options.reduced;
    if (M <= N) {
        placestarsbyrow(&state, zeros);
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

// Reduces the working costs from source: the columns for M > N, otherwise
// the rows, keeping the zeros. With deferred shifts and the zeros all kept,
// only the zeros are found now, and *reduced takes what the run writes
// column by column as it first reads it; otherwise the zeros are found again
// as the reduced costs are written. False when memory cannot be had.
bool reduce(double* workCost, const double* source, std::int32_t M, std::int32_t N,
            const double* least, const MachineOptions& options, std::size_t room, StartZeros* zeros,
            ReducedCosts* reduced, std::int32_t* scratch)
{
    if (M > N) {
        reducecolumns(workCost, M, N);
        zeros->complete = false;
        return true;
    }
    const ColumnPasses& passes = columnPasses(options.unit);
    if (options.deferShifts) {
        if (findreducedzeros(source, M, N, passes, least, zeros, scratch) &&
            obtainreducedcosts(reduced, source, least, M, N)) {
            return true;
        }
        releasestartzeros(zeros);
        if (!obtainstartzeros(zeros, M, N, room)) return false;
    }
    reducerows(workCost, source, M, N, passes, least, zeros, scratch);
    return true;
}

// Reduces the prepared working costs (now, or column by column as the run
// reads them), runs the step machine and totals the caller's costs of the
// chosen pairs. A run with deferred shifts that gives up leaves the working
// costs as it found them, save for columns written, and the machine starts
// over, shifting element by element.
const char* solve(double* assignment, double* cost, const double* costs, double* workCost,
                  const double* source, std::int32_t M, std::int32_t N, const double* least,
                  const MachineOptions& options)
{
    const auto rows = static_cast<std::size_t>(M);
    const auto elements = rows * static_cast<std::size_t>(N);
    // Room for a few zeros a line and an eighth of the matrix: integer costs
    // with ties, not a matrix of zeros.
    StartZeros zeros{};
    ReducedCosts reduced{};
    const std::size_t room = 4 * (rows + static_cast<std::size_t>(N)) + elements / 8;
    auto* scratch = static_cast<std::int32_t*>(workAllocate(rows * sizeof(std::int32_t)));
    bool noMemory =
        !scratch || !obtainstartzeros(&zeros, M, N, room) ||
        !reduce(workCost, source, M, N, least, options, room, &zeros, &reduced, scratch);
    MunkresOutcome outcome = MunkresOutcome::abandoned;
    if (!noMemory) {
        MachineOptions withZeros = options;
        withZeros.startZeros = &zeros;
        withZeros.reduced = reduced.written ? &reduced : nullptr;
        outcome = runmachine(assignment, workCost, M, N, zeros, withZeros, &noMemory);
        if (outcome == MunkresOutcome::abandoned && !noMemory) {
            MachineOptions elementByElement = withZeros;
            elementByElement.deferShifts = false;
            for (std::int32_t i = 0; i < M; ++i) assignment[i] = 0.0;
            outcome = runmachine(assignment, workCost, M, N, zeros, elementByElement, &noMemory);
        }
    }
    workRelease(scratch);
    releasestartzeros(&zeros);
    releasereducedcosts(&reduced);
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
    double* least = nullptr;
    if (M <= N)
        least = static_cast<double*>(workAllocate(static_cast<std::size_t>(M) * sizeof(double)));
    if (!workCost || (M <= N && !least)) {
        workRelease(workCost);
        workRelease(least);
        *failure = kAssignmentMemoryMessage;
        return;
    }
    const ColumnPasses& passes = columnPasses(options.unit);
    bool nothingFinite = false;
    CostRange range{};
    // For a row reduction the costs are first only checked, the rows' leasts
    // found on the way, and the reduced costs written in one pass from the
    // caller's; infinite costs need a copy to replace them in first.
    const bool checkOnly = least != nullptr;
    const char* problem =
        copyandcheck(checkOnly ? nullptr : workCost, costs, M, N, passes, least, &range);
    const double* source = checkOnly ? costs : workCost;
    if (!problem && checkOnly && range.sawInfinite) {
        problem = copyandcheck(workCost, costs, M, N, passes, nullptr, &range);
        source = workCost;
    }
    if (!problem && (!checkOnly || range.sawInfinite)) {
        problem = replaceinfinitecosts(workCost, elements, range, &nothingFinite);
    }
    if (!problem && !nothingFinite && least && range.sawInfinite) {
        findrowleasts(workCost, M, N, passes, least);
    }
    if (!problem && !nothingFinite) {
        problem = solve(assignment, cost, costs, workCost, source, M, N, least, options);
    }
    workRelease(workCost);
    workRelease(least);
    if (problem) *failure = problem;
}

} // namespace

void bestmatch(double* assignment, double* cost, const double* costs, std::int32_t M,
               std::int32_t N, const char** failure)
{
    solveassignment(
        assignment, cost, costs, M, N, failure,
        MachineOptions{true, widestVectorUnit(), configuredThreads(), 0, nullptr, nullptr});
}

void bestmatchwith(double* assignment, double* cost, const double* costs, std::int32_t M,
                   std::int32_t N, const BestmatchOptions& options, const char** failure)
{
    solveassignment(assignment, cost, costs, M, N, failure,
                    MachineOptions{options.deferShifts, options.unit, options.threads,
                                   options.abandonAtShift, nullptr, nullptr});
}

void bestmatchonunit(double* assignment, double* cost, const double* costs, std::int32_t M,
                     std::int32_t N, VectorUnit unit, const char** failure)
{
    solveassignment(assignment, cost, costs, M, N, failure,
                    MachineOptions{true, unit, 1, 0, nullptr, nullptr});
}

void bestmatchstepbystep(double* assignment, double* cost, const double* costs, std::int32_t M,
                         std::int32_t N, const char** failure)
{
    solveassignment(
        assignment, cost, costs, M, N, failure,
        MachineOptions{false, widestVectorUnit(), configuredThreads(), 0, nullptr, nullptr});
}

void bestmatchstartingover(double* assignment, double* cost, const double* costs, std::int32_t M,
                           std::int32_t N, std::uint64_t abandonAtShift, const char** failure)
{
    solveassignment(assignment, cost, costs, M, N, failure,
                    MachineOptions{true, widestVectorUnit(), 1, abandonAtShift, nullptr, nullptr});
}
