// The Munkres step machine on prepared states: the worked runs step by step,
// the step limit, the stop without a finite shift, the finishing operations.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "munkres_steps.h"

namespace
{

using S = MunkresStep;
using Steps = std::vector<MunkresStep>;

// A prepared M-by-N state: working costs given row by row, first stars with
// their columns covered.
struct Prepared {
    std::vector<double> assignment, workCost;
    MunkresState state{};

    Prepared(int M, int N, const std::vector<double>& rowByRow,
             const std::vector<std::pair<int, int>>& stars)
        : assignment(M, 0.0), workCost(rowByRow.size())
    {
        for (int i = 0; i < M; ++i)
            for (int j = 0; j < N; ++j) workCost[i + j * M] = rowByRow[i * N + j];
        EXPECT_TRUE(obtainstate(&state, assignment.data(), workCost.data(), M, N));
        for (const auto& [i, j] : stars) {
            setstar(&state, i, j);
            state.columnCovered[j] = 1;
        }
        EXPECT_TRUE(startmachine(&state, {false, VectorUnit::plain, 1, 0, nullptr, nullptr}));
    }
    Prepared(const Prepared&) = delete;
    ~Prepared() { releasestate(&state); }

    // Runs at most `count` steps from step2b and lists them.
    Steps trace(std::size_t count = 1000)
    {
        Steps taken;
        int row = 0, column = 0;
        for (S next = S::step2b; next != S::finished && next != S::overflowed;) {
            if (taken.size() == count) break;
            const S step = next;
            taken.push_back(step);
            if (step == S::step2a) next = step2a(&state);
            if (step == S::step2b) next = step2b(&state);
            if (step == S::step3) next = step3(&state, &row, &column);
            if (step == S::step4) next = step4(&state, row, column);
            if (step == S::step5) next = step5(&state);
        }
        return taken;
    }
};

// (1 2 3; 4 5 6; 7 8 9) after the row reduction, with its one first star.
Prepared oneToNine() { return Prepared(3, 3, {0, 1, 2, 0, 1, 2, 0, 1, 2}, {{0, 0}}); }

} // namespace

TEST(BestmatchMachine, WorkedRunOnOneToNineTakesThirteenSteps)
{
    Prepared p = oneToNine();
    EXPECT_EQ(p.trace(4), (Steps{S::step2b, S::step3, S::step5, S::step3}));
    // step5 took h = 1 from columns 1 and 2; step3 primed (0, 1), covered
    // row 0, uncovered column 0 and in its second pass primed (1, 0).
    EXPECT_EQ(p.workCost, (std::vector<double>{0, 0, 0, 0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(p.state.primeColumnOfRow[0], 1);
    EXPECT_EQ(p.state.primeColumnOfRow[1], 0);
    EXPECT_TRUE(p.state.rowCovered[0] && !p.state.columnCovered[0]);

    Prepared whole = oneToNine();
    EXPECT_EQ(whole.trace(),
              (Steps{S::step2b, S::step3, S::step5, S::step3, S::step4, S::step2a, S::step2b,
                     S::step3, S::step5, S::step3, S::step4, S::step2a, S::step2b}));
    EXPECT_EQ(whole.assignment, (std::vector<double>{2, 1, 3}));
    EXPECT_EQ(whole.workCost, std::vector<double>(9, 0.0));
}

TEST(BestmatchMachine, StepLimitStopsARunThatNeedsMore)
{
    for (std::uint64_t limit : {12u, 13u}) {
        Prepared p = oneToNine();
        std::uint64_t steps = 0;
        const MunkresOutcome outcome = runstepmachine(&p.state, limit, &steps);
        EXPECT_EQ(steps, limit);
        EXPECT_EQ(outcome,
                  limit == 13 ? MunkresOutcome::finished : MunkresOutcome::stepLimitReached);
        // The assignment is written only when a run finishes.
        EXPECT_EQ(p.assignment[0], limit == 13 ? 2 : 0);
    }
    EXPECT_EQ(steplimit(3), 25u);
    EXPECT_EQ(steplimit(2147483647), 4611686024869838845u);
}

TEST(BestmatchMachine, ShortRuns)
{
    // First stars in every column: the entry step ends the run.
    Prepared full(3, 3, std::vector<double>(9, 0.0), {{0, 0}, {1, 1}, {2, 2}});
    EXPECT_EQ(full.trace(), Steps{S::step2b});
    EXPECT_EQ(full.assignment, (std::vector<double>{1, 2, 3}));
    // (1 2; 2 4) reduced by rows: exactly one shift.
    Prepared oneShift(2, 2, {0, 1, 0, 2}, {{0, 0}});
    const Steps taken = oneShift.trace();
    EXPECT_EQ(std::count(taken.begin(), taken.end(), S::step5), 1);
    EXPECT_EQ(oneShift.assignment, (std::vector<double>{2, 1}));
    // A prime whose column holds no star: the path is that one star.
    Prepared lengthOne(2, 2, {0, 1, 1, 0}, {{0, 0}});
    EXPECT_EQ(lengthOne.trace(), (Steps{S::step2b, S::step3, S::step4, S::step2a, S::step2b}));
    EXPECT_EQ(lengthOne.assignment, (std::vector<double>{1, 2}));
}

TEST(BestmatchMachine, StopsWhenNoFiniteShiftIsLeft)
{
    // (NaN 1; 1 1) reduced by rows: row 0 all NaN. Shifting by infinity would
    // turn the stars into NaN and the machine would never end.
    Prepared p(2, 2, {NAN, NAN, 0, 0}, {{1, 0}});
    std::uint64_t steps = 0;
    EXPECT_EQ(runstepmachine(&p.state, steplimit(2), &steps), MunkresOutcome::overflowed);
    EXPECT_EQ(steps, 3u);
    EXPECT_EQ(p.workCost[1], 0.0); // nothing was shifted
    EXPECT_EQ(p.assignment, (std::vector<double>{0, 0}));
}

TEST(BestmatchMachine, FinishingOperations)
{
    // 4-by-3 caller costs, column-major; infinite and NaN pairs are withdrawn.
    const std::vector<double> costs = {1, 2, 3, 4, INFINITY, 6, 7, 8, 9, 10, 11, NAN};
    std::vector<double> assignment = {2, 0, 1, 3};
    double cost = 0.5;
    computeassignmentcost(assignment.data(), &cost, costs.data(), 4);
    EXPECT_EQ(assignment, (std::vector<double>{0, 0, 1, 0}));
    EXPECT_EQ(cost, 0.5 + 3);

    const std::int32_t stars[] = {2, kNoMark, 0};
    std::vector<double> built = {0, 0, 0};
    buildassignmentvector(built.data(), stars, 3);
    EXPECT_EQ(built, (std::vector<double>{3, 0, 1}));
}
