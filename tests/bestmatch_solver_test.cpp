// The assignment solver on plain arrays: worked examples, refusals, and least
// totals against enumeration of every assignment.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "assignment.h"

namespace
{

constexpr double inf = std::numeric_limits<double>::infinity();

struct Solved {
    std::vector<double> assignment;
    double cost = -1.0; // garbage on entry: the solver must clear it
    const char* failure = nullptr;
    std::string message() const { return failure ? failure : "none"; }
};

Solved solveColumnMajor(int M, int N, const std::vector<double>& costs)
{
    Solved s;
    s.assignment.assign(M, -7.0);
    bestmatch(s.assignment.data(), &s.cost, costs.empty() ? nullptr : costs.data(), M, N,
              &s.failure);
    return s;
}

Solved solve(int M, int N, const std::vector<double>& rowByRow)
{
    std::vector<double> costs(rowByRow.size());
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j) costs[i + j * M] = rowByRow[i * N + j];
    return solveColumnMajor(M, N, costs);
}

} // namespace

TEST(BestmatchSolver, WorkedExamples)
{
    struct Example {
        int M, N;
        std::vector<double> rowByRow, assignment;
        double cost;
    };
    const std::vector<Example> examples = {
        {2, 2, {1, 2, 2, 4}, {2, 1}, 4},
        {2, 3, {1, 1, 1, 1, 1, 1}, {1, 2}, 2},
        {3, 2, {1, 1, 1, 1, 1, 1}, {1, 2, 0}, 2},
        {3, 1, {3, 1, 2}, {0, 1, 0}, 1},
        {1, 3, {3, 1, 2}, {2}, 1},
        {3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9}, {2, 1, 3}, 15},
        {2, 2, {inf, inf, 1, 2}, {0, 1}, 1}, // replacement 2 * 10 * 4 = 80
        {2, 2, {0, inf, inf, 0}, {1, 2}, 0}, // replacement 10
        {2, 2, {2, inf, inf, inf}, {1, 0}, 2},
        {2, 2, {-inf, 1, 1, 1}, {2, 1}, 2},
        {1, 2, {0, inf}, {1}, 0},
        {2, 3, {inf, -inf, inf, inf, inf, inf}, {0, 0}, 0},
        {2, 2, {-0.0, 1, 1, -0.0}, {1, 2}, 0},
        {0, 3, {}, {}, 0},
        {3, 0, {}, {0, 0, 0}, 0},
    };
    for (const Example& e : examples) {
        const Solved s = solve(e.M, e.N, e.rowByRow);
        EXPECT_EQ(s.message(), "none");
        EXPECT_EQ(s.assignment, e.assignment) << e.M << "x" << e.N << " costing " << e.cost;
        EXPECT_EQ(s.cost, e.cost) << e.M << "x" << e.N;
        EXPECT_FALSE(std::signbit(s.cost));
    }
}

TEST(BestmatchSolver, RefusalsLeaveZeroOutputs)
{
    const double denormal = std::numeric_limits<double>::denorm_min();
    const struct {
        std::vector<double> rowByRow;
        std::string message;
    } cases[] = {
        {{1, 2, 3, -denormal}, kNegativeCostMessage},
        {{NAN, 2, 3, -1}, kNegativeCostMessage}, // a negative cost anywhere comes first
        {{NAN, 1, 1, 1}, kNanCostMessage},       // would run without end
        {{inf, 2, 3, -NAN}, kNanCostMessage},
        {{1e307, inf, 1, 1}, kReplacementOverflowMessage}, // 1e307 * 10 * 4
    };
    for (const auto& c : cases) {
        const Solved s = solve(2, 2, c.rowByRow);
        EXPECT_EQ(s.message(), c.message);
        EXPECT_EQ(s.assignment, (std::vector<double>{0, 0}));
        EXPECT_EQ(s.cost, 0.0);
    }
    // Large but representable: a finite replacement, or none needed at all.
    const double big = std::numeric_limits<double>::max();
    EXPECT_EQ(solve(2, 2, {1e300, inf, 1, 1}).cost, 1e300 + 1);
    EXPECT_EQ(solve(2, 2, {big, 0, 0, big}).assignment, (std::vector<double>{2, 1}));
}

namespace
{

// Over every complete assignment: the fewest infinite pairs, and among those
// the least finite total, added in row order.
std::pair<int, double> enumerateBest(int M, int N, const std::vector<double>& costs)
{
    const int shorter = std::min(M, N);
    std::vector<int> order(std::max(M, N));
    std::iota(order.begin(), order.end(), 0);
    std::pair<int, double> best{M + N, inf};
    do {
        std::vector<int> columnOfRow(M, -1);
        for (int k = 0; k < shorter; ++k) {
            if (M <= N)
                columnOfRow[k] = order[k];
            else
                columnOfRow[order[k]] = k;
        }
        std::pair<int, double> candidate{0, 0.0};
        for (int i = 0; i < M; ++i) {
            if (columnOfRow[i] < 0) continue;
            const double v = costs[i + columnOfRow[i] * M];
            if (std::isinf(v))
                ++candidate.first;
            else
                candidate.second = v + candidate.second;
        }
        best = std::min(best, candidate);
        std::reverse(order.begin() + shorter, order.end()); // skip orders of the unused tail
    } while (std::next_permutation(order.begin(), order.end()));
    return best;
}

} // namespace

TEST(BestmatchSolver, LeastTotalWithTheFewestForbiddenPairs)
{
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<int> size(1, 7), small(0, 5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 400; ++trial) {
        const int M = size(rng), N = size(rng);
        std::vector<double> costs(M * N);
        for (double& v : costs) v = unit(rng) < 0.2 * (trial % 4) ? inf : small(rng);
        const Solved s = solveColumnMajor(M, N, costs);
        ASSERT_EQ(s.message(), "none");

        // A valid assignment, its cost the total of its reported pairs.
        std::vector<int> used(N, 0);
        std::pair<int, double> found{std::min(M, N), 0.0};
        for (int i = 0; i < M; ++i) {
            const int j = int(s.assignment[i]) - 1;
            if (j < 0) continue;
            ASSERT_TRUE(j < N && !used[j]++ && std::isfinite(costs[i + j * M]));
            --found.first;
            found.second = costs[i + j * M] + found.second;
        }
        EXPECT_EQ(s.cost, found.second);
        // Without any finite cost there are no pairs at all.
        const bool anyFinite =
            std::any_of(costs.begin(), costs.end(), [](double v) { return std::isfinite(v); });
        const std::pair<int, double> none{std::min(M, N), 0.0};
        EXPECT_EQ(found, anyFinite ? enumerateBest(M, N, costs) : none) << "trial " << trial;
    }
}
