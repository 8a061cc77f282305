// The assignment solver with each of its working-memory requests refused in
// turn: every run either gives the memory message, with its results cleared,
// or the very answer of a run that had all its memory.

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "assignment.h"
#include "bestmatch_families.h"
#include "failing_work_memory.h"

namespace
{

struct Solved {
    std::vector<double> assignment;
    double cost = -1.0;
    const char* failure = nullptr;
};

Solved solveWith(const std::vector<double>& costs, int M, int N, bool deferShifts)
{
    Solved s;
    s.assignment.assign(M, -7.0);
    const BestmatchOptions options{deferShifts, widestVectorUnit(), 2, 0};
    bestmatchwith(s.assignment.data(), &s.cost, costs.data(), M, N, options, &s.failure);
    return s;
}

// Refuses request 1, 2, ... of one solve until a solve makes fewer requests
// than the one refused.
void everyRefusal(const std::vector<double>& costs, int M, int N, bool deferShifts,
                  const std::string& what)
{
    failWorkRequest(0);
    const Solved whole = solveWith(costs, M, N, deferShifts);
    ASSERT_EQ(whole.failure, nullptr) << what;
    for (std::uint64_t n = 1;; ++n) {
        failWorkRequest(n);
        const Solved refused = solveWith(costs, M, N, deferShifts);
        const bool hit = workRequestFailed();
        failWorkRequest(0);
        if (!hit) {
            EXPECT_GT(n, 1u) << what;
            return;
        }
        if (refused.failure) {
            EXPECT_STREQ(refused.failure, kAssignmentMemoryMessage) << what << ", request " << n;
            EXPECT_EQ(refused.cost, 0.0) << what << ", request " << n;
            EXPECT_EQ(refused.assignment, std::vector<double>(M, 0.0)) << what << ", request " << n;
        } else {
            // A refusal that the solver can do without (a list it keeps
            // for speed) leaves the answer as it was.
            EXPECT_EQ(refused.assignment, whole.assignment) << what << ", request " << n;
            EXPECT_EQ(std::memcmp(&refused.cost, &whole.cost, sizeof(double)), 0)
                << what << ", request " << n;
        }
        if (::testing::Test::HasFailure()) return;
    }
}

} // namespace

TEST(BestmatchMemory, EveryRefusedRequestGivesTheMessageOrTheSameAnswer)
{
    std::mt19937_64 rng(47);
    for (int family : {kUniform, kIntegers, kEuclidean, kNearTies, kForbiddenTies}) {
        for (auto [M, N] : {std::pair{40, 40}, std::pair{30, 90}, std::pair{90, 30}}) {
            const std::vector<double> costs = familyCosts(family, M, N, rng);
            for (bool defer : {true, false}) {
                everyRefusal(costs, M, N, defer,
                             "family " + std::to_string(family) + ", " + std::to_string(M) + "x" +
                                 std::to_string(N) + (defer ? ", deferred" : ", dense"));
            }
        }
    }
}
