#include "dense_values.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "munkres_steps.h"
#include "parallel.h"
#include "work_memory.h"

namespace
{

constexpr double kInfinity = std::numeric_limits<double>::infinity();

double* columnof(const MunkresState& state, std::int32_t j)
{
    return state.workCost + static_cast<std::size_t>(j) * static_cast<std::size_t>(state.M);
}

void fill(double* values, std::int32_t count, double value)
{
    for (std::int32_t k = 0; k < count; ++k) values[k] = value;
}

void listzeros(MunkresState* state, std::int32_t j, const std::int32_t* rows, std::int32_t count)
{
    if (count == 0) return;
    openzerolist(&state->zeros, j);
    for (std::int32_t k = 0; k < count; ++k) addzero(&state->zeros, rows[k]);
    closezerolist(&state->zeros);
}

// What one part of a shift's pass works on: a stretch of columns, the leasts
// it finds and, when the lists can be made as it goes (one part), its zeros.
struct ShiftPass {
    MunkresState* state;
    double h;
    int parts;
};

void shiftpart(const ShiftPass& pass, int part)
{
    MunkresState* state = pass.state;
    DenseValues& values = state->dense;
    const std::int32_t M = state->M;
    const std::int32_t N = state->N;
    const auto first = static_cast<std::int32_t>(static_cast<long long>(part) * N / pass.parts);
    const auto end = static_cast<std::int32_t>(static_cast<long long>(part + 1) * N / pass.parts);
    double* freeSlack = values.freeSlack;
    double* treeSlack = values.treeSlack;
    if (part > 0) {
        freeSlack = values.partials + static_cast<std::size_t>(part - 1) * 2 * M;
        treeSlack = freeSlack + M;
        fill(freeSlack, M, kInfinity);
        fill(treeSlack, M, kInfinity);
    }
    std::int32_t* zeroRows = values.zeroRows + static_cast<std::size_t>(part) * M;
    const ColumnPasses& passes = *state->passes;
    for (std::int32_t j = first; j < end; ++j) {
        double* column = columnof(*state, j);
        if (state->columnCovered[j]) {
            if (state->coveredRowCount > 0) passes.shiftcovered(column, values.addend, M);
            continue;
        }
        double* slack = state->freePosition[j] != kNoMark ? freeSlack : treeSlack;
        const std::int32_t zeros = passes.shiftuncovered(column, values.addend, values.rowMask,
                                                         pass.h, M, slack, zeroRows);
        values.zeroCounts[j] = zeros;
        if (pass.parts == 1) listzeros(state, j, zeroRows, zeros);
    }
}

// With several parts the zeros are listed after the pass, column by column.
void listshiftzeros(MunkresState* state)
{
    const std::int32_t M = state->M;
    for (std::int32_t j = 0; j < state->N; ++j) {
        if (state->columnCovered[j] || state->dense.zeroCounts[j] == 0) continue;
        openzerolist(&state->zeros, j);
        const double* column = columnof(*state, j);
        for (std::int32_t i = 0; i < M; ++i) {
            if (!state->rowCovered[i] && column[i] == 0.0) addzero(&state->zeros, i);
        }
        closezerolist(&state->zeros);
    }
}

void combinepartials(MunkresState* state, int parts)
{
    DenseValues& values = state->dense;
    const std::int32_t M = state->M;
    for (int part = 1; part < parts; ++part) {
        const double* freeSlack = values.partials + static_cast<std::size_t>(part - 1) * 2 * M;
        const double* treeSlack = freeSlack + M;
        for (std::int32_t i = 0; i < M; ++i) {
            if (freeSlack[i] < values.freeSlack[i]) values.freeSlack[i] = freeSlack[i];
            if (treeSlack[i] < values.treeSlack[i]) values.treeSlack[i] = treeSlack[i];
        }
    }
}

} // namespace

bool obtaindensevalues(MunkresState* state, int threads)
{
    DenseValues& values = state->dense;
    values = DenseValues{};
    const auto rows = static_cast<std::size_t>(state->M);
    const auto columns = static_cast<std::size_t>(state->N);
    values.threads = threads < 1 ? 1 : threads;
    values.leastParts = 1;
    const auto extra = static_cast<std::size_t>(values.threads - 1);
    values.freeSlack = static_cast<double*>(workAllocate(rows * sizeof(double)));
    values.treeSlack = static_cast<double*>(workAllocate(rows * sizeof(double)));
    values.rowMask = static_cast<double*>(workAllocateZeroed(rows, sizeof(double)));
    values.addend = static_cast<double*>(workAllocate(rows * sizeof(double)));
    values.partials = static_cast<double*>(workAllocate(extra * 2 * rows * sizeof(double)));
    values.zeroRows = static_cast<std::int32_t*>(
        workAllocate(static_cast<std::size_t>(values.threads) * rows * sizeof(std::int32_t)));
    values.zeroCounts =
        static_cast<std::int32_t*>(workAllocateZeroed(columns, sizeof(std::int32_t)));
    const bool obtained = values.freeSlack && values.treeSlack && values.rowMask && values.addend &&
                          values.partials && values.zeroRows && values.zeroCounts;
    if (!obtained) releasedensevalues(&values);
    return obtained;
}

void releasedensevalues(DenseValues* values)
{
    workRelease(values->freeSlack);
    workRelease(values->treeSlack);
    workRelease(values->rowMask);
    workRelease(values->addend);
    workRelease(values->partials);
    workRelease(values->zeroRows);
    workRelease(values->zeroCounts);
    *values = DenseValues{};
}

void densephasestart(MunkresState* state)
{
    DenseValues& values = state->dense;
    const std::int32_t M = state->M;
    fill(values.freeSlack, M, kInfinity);
    fill(values.treeSlack, M, kInfinity);
    for (std::int32_t k = 0; k < state->freeColumnCount; ++k) {
        const std::int32_t j = state->freeColumns[k];
        const std::int32_t zeros = state->passes->leastandzeros(
            columnof(*state, j), values.rowMask, M, values.freeSlack, values.zeroRows);
        listzeros(state, j, values.zeroRows, zeros);
    }
}

void densemerge(MunkresState* state, std::int32_t j)
{
    DenseValues& values = state->dense;
    const std::int32_t zeros = state->passes->leastandzeros(
        columnof(*state, j), values.rowMask, state->M, values.treeSlack, values.zeroRows);
    listzeros(state, j, values.zeroRows, zeros);
}

void densecoverrow(MunkresState* state, std::int32_t i)
{
    state->dense.rowMask[i] = std::numeric_limits<double>::quiet_NaN();
}

void denseuncoverrow(MunkresState* state, std::int32_t i) { state->dense.rowMask[i] = 0.0; }

bool denseshift(MunkresState* state)
{
    DenseValues& values = state->dense;
    const std::int32_t M = state->M;
    // The least working cost over the uncovered rows and columns: every
    // uncovered column is either without a star or uncovered in this phase.
    double h = kInfinity;
    for (std::int32_t i = 0; i < M; ++i) {
        if (state->rowCovered[i]) continue;
        if (values.freeSlack[i] < h) h = values.freeSlack[i];
        if (values.treeSlack[i] < h) h = values.treeSlack[i];
    }
    if (!std::isfinite(h)) return false;
    for (std::int32_t i = 0; i < M; ++i) values.addend[i] = state->rowCovered[i] ? h : -0.0;
    clearzerolists(&state->zeros);
    fill(values.freeSlack, M, kInfinity);
    fill(values.treeSlack, M, kInfinity);
    const double operations = static_cast<double>(M) * static_cast<double>(state->N);
    int parts = threadsWorthStarting(operations, values.threads);
    if (parts < values.leastParts)
        parts = values.leastParts < values.threads ? values.leastParts : values.threads;
    const ShiftPass pass{state, h, parts};
    runParts(parts, parts, [&](int part) { shiftpart(pass, part); });
    if (parts > 1) {
        combinepartials(state, parts);
        listshiftzeros(state);
    }
    return true;
}

std::int32_t densefirstzero(const MunkresState& state, std::int32_t j, std::int32_t from)
{
    const double* column = columnof(state, j);
    for (std::int32_t i = from; i < state.M; ++i) {
        if (!state.rowCovered[i] && column[i] == 0.0) return i;
    }
    return state.M;
}
