// The step machine keeps its marks as index vectors and lets scans resume
// where they stopped. Here it runs in lockstep with a plain machine that keeps
// M*N mark matrices and rescans everything; every state between two steps has
// to agree, working costs bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "munkres_steps.h"

namespace
{

struct PlainMachine {
    int M, N;
    std::vector<double> assignment, workCost;
    std::vector<unsigned char> starred, primed, columnCovered, rowCovered;

    std::size_t at(int i, int j) const { return std::size_t(i) + std::size_t(j) * M; }
    int markInRow(const std::vector<unsigned char>& marks, int i) const
    {
        for (int j = 0; j < N; ++j)
            if (marks[at(i, j)]) return j;
        return -1;
    }
    int starInColumn(int j) const
    {
        for (int i = 0; i < M; ++i)
            if (starred[at(i, j)]) return i;
        return -1;
    }

    MunkresStep take(MunkresStep step, int* row, int* column)
    {
        switch (step) {
        case MunkresStep::step2a:
            for (int j = 0; j < N; ++j)
                if (starInColumn(j) >= 0) columnCovered[j] = 1;
            return MunkresStep::step2b;
        case MunkresStep::step2b:
            if (std::count(columnCovered.begin(), columnCovered.end(), 1) != std::min(M, N))
                return MunkresStep::step3;
            for (int i = 0; i < M; ++i)
                if (markInRow(starred, i) >= 0) assignment[i] = markInRow(starred, i) + 1;
            return MunkresStep::finished;
        case MunkresStep::step3:
            return step3(row, column);
        case MunkresStep::step4:
            return step4(*row, *column);
        default:
            return step5();
        }
    }

    MunkresStep step3(int* row, int* column)
    {
        for (bool found = true; found;) {
            found = false;
            for (int j = 0; j < N; ++j) {
                for (int i = 0; i < M && !columnCovered[j]; ++i) {
                    if (rowCovered[i] || workCost[at(i, j)] != 0.0) continue;
                    primed[at(i, j)] = 1;
                    const int s = markInRow(starred, i);
                    if (s < 0) {
                        *row = i;
                        *column = j;
                        return MunkresStep::step4;
                    }
                    rowCovered[i] = 1;
                    columnCovered[s] = 0;
                    found = true;
                    break;
                }
            }
        }
        return MunkresStep::step5;
    }

    MunkresStep step4(int row, int column)
    {
        std::vector<unsigned char> starredNext = starred;
        starredNext[at(row, column)] = 1;
        for (int j = column, i = starInColumn(j); i >= 0; i = starInColumn(j)) {
            starredNext[at(i, j)] = 0;
            j = markInRow(primed, i);
            starredNext[at(i, j)] = 1;
        }
        starred = starredNext;
        std::fill(primed.begin(), primed.end(), 0);
        std::fill(rowCovered.begin(), rowCovered.end(), 0);
        return MunkresStep::step2a;
    }

    MunkresStep step5()
    {
        double h = std::numeric_limits<double>::infinity();
        for (int i = 0; i < M; ++i)
            for (int j = 0; j < N; ++j)
                if (!rowCovered[i] && !columnCovered[j] && h > workCost[at(i, j)])
                    h = workCost[at(i, j)];
        for (int i = 0; i < M; ++i)
            for (int j = 0; j < N && rowCovered[i]; ++j)
                workCost[at(i, j)] = workCost[at(i, j)] + h;
        for (int j = 0; j < N; ++j)
            for (int i = 0; i < M && !columnCovered[j]; ++i)
                workCost[at(i, j)] = workCost[at(i, j)] - h;
        return MunkresStep::step3;
    }
};

// A prepared starting state: row (M <= N) or column reduction, first stars.
PlainMachine preparePlain(std::vector<double> costs, int M, int N)
{
    const std::size_t E = costs.size();
    PlainMachine p{M,
                   N,
                   std::vector<double>(M),
                   costs,
                   std::vector<unsigned char>(E),
                   std::vector<unsigned char>(E),
                   std::vector<unsigned char>(N),
                   std::vector<unsigned char>(M)};
    const bool byRow = M <= N;
    for (int outer = 0; outer < (byRow ? M : N); ++outer) {
        auto element = [&](int k) -> double& {
            return p.workCost[byRow ? p.at(outer, k) : p.at(k, outer)];
        };
        double m = element(0);
        for (int k = 1; k < (byRow ? N : M); ++k) m = m > element(k) ? element(k) : m;
        for (int k = 0; k < (byRow ? N : M); ++k) element(k) = element(k) - m;
        for (int k = 0; k < (byRow ? N : M); ++k) {
            const int i = byRow ? outer : k, j = byRow ? k : outer;
            if (element(k) != 0.0 || p.columnCovered[j] || p.markInRow(p.starred, i) >= 0) continue;
            p.starred[p.at(i, j)] = p.columnCovered[j] = 1;
            break;
        }
    }
    return p;
}

::testing::AssertionResult sameState(const PlainMachine& p, const MunkresState& f)
{
    if (std::memcmp(p.workCost.data(), f.workCost, p.workCost.size() * sizeof(double)))
        return ::testing::AssertionFailure() << "working costs differ";
    for (int i = 0; i < p.M; ++i) {
        if (p.assignment[i] != f.assignment[i] ||
            p.markInRow(p.starred, i) != f.starColumnOfRow[i] ||
            p.markInRow(p.primed, i) != f.primeColumnOfRow[i] || p.rowCovered[i] != f.rowCovered[i])
            return ::testing::AssertionFailure() << "row " << i << " differs";
    }
    for (int j = 0; j < p.N; ++j) {
        if (p.starInColumn(j) != f.starRowOfColumn[j] || p.columnCovered[j] != f.columnCovered[j])
            return ::testing::AssertionFailure() << "column " << j << " differs";
    }
    return ::testing::AssertionSuccess();
}

MunkresStep take(MunkresState* state, MunkresStep step, int* row, int* column)
{
    switch (step) {
    case MunkresStep::step2a:
        return step2a(state);
    case MunkresStep::step2b:
        return step2b(state);
    case MunkresStep::step3:
        return step3(state, row, column);
    case MunkresStep::step4:
        return step4(state, *row, *column);
    default:
        return step5(state);
    }
}

void runInLockstep(const std::vector<double>& costs, int M, int N)
{
    PlainMachine plain = preparePlain(costs, M, N);
    std::vector<double> assignment(M), workCost = plain.workCost;
    MunkresState fast{};
    ASSERT_TRUE(obtainstate(&fast, assignment.data(), workCost.data(), M, N));
    for (int i = 0; i < M; ++i)
        if (plain.markInRow(plain.starred, i) >= 0)
            setstar(&fast, i, plain.markInRow(plain.starred, i));
    std::copy(plain.columnCovered.begin(), plain.columnCovered.end(), fast.columnCovered);

    int row = 0, column = 0, fastRow = 0, fastColumn = 0;
    std::uint64_t steps = 0;
    for (MunkresStep next = MunkresStep::step2b; next != MunkresStep::finished; ++steps) {
        const MunkresStep plainNext = plain.take(next, &row, &column);
        const MunkresStep fastNext = take(&fast, next, &fastRow, &fastColumn);
        const bool sameStep = plainNext == fastNext && row == fastRow && column == fastColumn;
        EXPECT_TRUE(sameStep) << "step " << steps << ", " << M << "x" << N;
        EXPECT_TRUE(sameState(plain, fast)) << "step " << steps << ", " << M << "x" << N;
        if (::testing::Test::HasFailure()) break;
        next = plainNext;
    }
    EXPECT_LE(steps, steplimit(std::min(M, N)));
    releasestate(&fast);
}

} // namespace

TEST(BestmatchEquivalence, EveryStepMatchesThePlainMachineBitForBit)
{
    // Uniform reals; small integers with many ties; large values among small
    // ones (as replaced infinite costs are); tiny values that vanish next to a
    // shift, so that (x + h) - h != x.
    std::mt19937_64 rng(20240611);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> small(0, 4), size(1, 24);
    const std::vector<std::function<double()>> kinds = {
        [&] { return unit(rng); }, [&] { return double(small(rng)); },
        [&] { return unit(rng) < 0.3 ? 4000.0 : small(rng); },
        [&] { return unit(rng) < 0.5 ? unit(rng) * 1e-18 : unit(rng) * 1e3; }};
    for (int trial = 0; trial < 300 && !HasFailure(); ++trial) {
        const int M = trial < 12 ? 40 + 30 * (trial % 3) : size(rng);
        const int N = trial < 12 ? 130 - 30 * (trial % 3) : size(rng);
        std::vector<double> costs(std::size_t(M) * N);
        for (double& v : costs) v = kinds[trial % 4]();
        runInLockstep(costs, M, N);
    }
}
