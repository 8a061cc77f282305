// The step machine keeps its marks as index vectors, visits only columns
// listed as holding zeros and takes its shifts from each row's least, with
// shifts applied element by element (dense) or kept as sums (deferred). Here
// it runs in lockstep with the literal machine, which keeps M*N mark matrices
// and rescans everything: every state between two steps has to agree,
// working costs bit for bit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "assignment.h"
#include "bestmatch_families.h"
#include "bestmatch_literal.h"
#include "munkres_steps.h"
#include "start_zeros.h"

namespace
{

// With deferred shifts the working costs are compared as values: a -0.0 that
// the literal machine never shifts comes out of the deferred sums as +0.0,
// and the two zeros take part in every comparison and shift alike.
::testing::AssertionResult sameState(const LiteralMachine& p, MunkresState& f, bool deferred)
{
    if (!deferred && std::memcmp(p.workCost.data(), f.workCost, p.workCost.size() * sizeof(double)))
        return ::testing::AssertionFailure() << "working costs differ";
    for (int j = 0; deferred && j < p.N; ++j)
        for (int i = 0; i < p.M; ++i)
            if (!(workcostof(&f, i, j) == p.workCost[p.at(i, j)]))
                return ::testing::AssertionFailure() << "working cost (" << i << ", " << j
                                                     << ") differs: " << workcostof(&f, i, j)
                                                     << " against " << p.workCost[p.at(i, j)];
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

// The machine on the literal machine's prepared state, shifts applied or
// deferred; deferred runs verify every decision, however costly. Its working
// costs start as NaN and are written column by column as it first reads them
// (a copy of the prepared costs less rows' leasts of zero: the literal
// machine shifts its own), so a read of a column not yet written shows.
struct Machine {
    std::vector<double> assignment, workCost, startCosts, noLeasts;
    MunkresState state{};
    StartZeros zeros{};
    ReducedCosts reduced{};
    bool started = false;

    Machine(const LiteralMachine& prepared, bool deferred, int threads = 1)
        : assignment(prepared.M), workCost(prepared.workCost.size(), NAN),
          startCosts(prepared.workCost), noLeasts(prepared.M, 0.0)
    {
        const int M = prepared.M, N = prepared.N;
        // The prepared costs' zeros, as the reduction finds them.
        if (!obtainstartzeros(&zeros, M, N, std::size_t(M) * N + 1)) return;
        std::vector<int> rows;
        for (int j = 0; j < N; ++j) {
            rows.clear();
            for (int i = 0; i < M; ++i)
                if (startCosts[prepared.at(i, j)] == 0.0) rows.push_back(i);
            addcolumnzeros(&zeros, j, rows.data(), int(rows.size()));
        }
        finishstartzeros(&zeros);
        if (!obtainreducedcosts(&reduced, startCosts.data(), noLeasts.data(), M, N)) return;
        if (!obtainstate(&state, assignment.data(), workCost.data(), M, N)) return;
        for (int i = 0; i < M; ++i)
            if (prepared.markInRow(prepared.starred, i) >= 0)
                setstar(&state, i, prepared.markInRow(prepared.starred, i));
        std::copy(prepared.columnCovered.begin(), prepared.columnCovered.end(),
                  state.columnCovered);
        started =
            startmachine(&state, {deferred, widestVectorUnit(), threads, 0, &zeros, &reduced});
        state.lazy.verificationShare = INFINITY;
        state.lazy.candidateLimit = SIZE_MAX;
    }
    Machine(const Machine&) = delete;
    ~Machine()
    {
        releasestate(&state);
        releasestartzeros(&zeros);
        releasereducedcosts(&reduced);
    }
};

// Runs both machines in lockstep; returns the number of shifts. `tweak`
// adjusts the machine once started.
std::uint64_t runInLockstep(const std::vector<double>& costs, int M, int N, bool deferred = false,
                            bool* stillExact = nullptr,
                            const std::function<void(MunkresState&)>& tweak = {}, int threads = 1)
{
    LiteralMachine plain = prepareliteral(costs, M, N);
    Machine fast(plain, deferred, threads);
    if (tweak) tweak(fast.state);
    if (!fast.started) {
        ADD_FAILURE() << "no memory for the state";
        return 0;
    }
    EXPECT_EQ(fast.state.deferred, deferred);
    int row = 0, column = 0, fastRow = 0, fastColumn = 0;
    std::uint64_t steps = 0;
    for (MunkresStep next = MunkresStep::step2b; next != MunkresStep::finished; ++steps) {
        const MunkresStep plainNext = plain.take(next, &row, &column);
        const MunkresStep fastNext = take(&fast.state, next, &fastRow, &fastColumn);
        const bool sameStep = plainNext == fastNext && row == fastRow && column == fastColumn;
        EXPECT_TRUE(sameStep) << "step " << steps << ", " << M << "x" << N;
        EXPECT_TRUE(sameState(plain, fast.state, deferred))
            << "step " << steps << ", " << M << "x" << N;
        if (::testing::Test::HasFailure()) break;
        next = plainNext;
    }
    EXPECT_LE(steps, steplimit(std::min(M, N)));
    if (stillExact) *stillExact = fast.state.deferred && !fast.state.lazy.shiftsMayRound;
    return fast.state.shiftsRun;
}

} // namespace

TEST(BestmatchEquivalence, EveryStepMatchesTheLiteralMachineBitForBit)
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

TEST(BestmatchEquivalence, DeferredShiftsMatchTheLiteralMachineOnEveryFamily)
{
    // Families on a binary grid, where shifts stay exact for the whole run or
    // until a sum would leave the exact range, and families that round at
    // once: every state between two steps must agree with the literal
    // machine, in both ways of keeping the values.
    std::mt19937_64 rng(20261208);
    std::uniform_int_distribution<int> size(1, 30);
    std::uint64_t shifts = 0;
    std::vector<int> endedExact(kFamilies);
    for (int trial = 0; trial < 26 * kFamilies && !HasFailure(); ++trial) {
        const int family = trial % kFamilies;
        const bool larger = trial >= 24 * kFamilies;
        const int M = larger ? 40 + int(rng() % 40) : size(rng);
        const int N = larger ? 40 + int(rng() % 40) : size(rng);
        const std::vector<double> costs = withInfinitiesReplaced(familyCosts(family, M, N, rng));
        const std::uint64_t plainShifts = runInLockstep(costs, M, N, false);
        bool stillExact = false;
        EXPECT_EQ(runInLockstep(costs, M, N, true, &stillExact), plainShifts) << "trial " << trial;
        endedExact[family] += stillExact && plainShifts > 0;
        shifts += plainShifts;
    }
    EXPECT_GT(shifts, 1000u);
    // Integers, i*j and k/64 keep exact sums; uniform costs round at once.
    for (int family : {kIntegers, kProducts, kSixtyFourths})
        EXPECT_GT(endedExact[family], 15) << family;
    EXPECT_LT(endedExact[kUniform], 3);
}

TEST(BestmatchEquivalence, DenseShiftsOverThreadsMatchTheLiteralMachineBitForBit)
{
    // Every shift's pass split over two threads, each with its own leasts
    // and zeros, however small the matrix.
    std::mt19937_64 rng(20261209);
    std::uniform_int_distribution<int> size(2, 40);
    for (int trial = 0; trial < 4 * kFamilies && !HasFailure(); ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs =
            withInfinitiesReplaced(familyCosts(trial % kFamilies, M, N, rng));
        runInLockstep(
            costs, M, N, false, nullptr, [](MunkresState& state) { state.dense.leastParts = 2; },
            2);
    }
}

TEST(BestmatchEquivalence, RelevanceListsWidenedAtEveryShiftMatchTheLiteralMachine)
{
    // With a margin only just wide enough, the lists are made anew and the
    // phase's columns merged again at every shift that may round.
    // Near ties put elements within rounding of the rows' thresholds.
    std::mt19937_64 rng(20261210);
    std::uniform_int_distribution<int> size(2, 40);
    const int families[] = {kNearTies, kUniform, kZeroTinyOne, kMixedTiny, kEuclidean};
    for (int trial = 0; trial < 200 && !HasFailure(); ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs =
            withInfinitiesReplaced(familyCosts(families[trial % 5], M, N, rng));
        runInLockstep(costs, M, N, true, nullptr, [](MunkresState& state) {
            state.lazy.marginGrowth = 1.0;
            state.lazy.marginScale = 0.0;
        });
    }
}

namespace
{

struct Answer {
    std::vector<double> assignment;
    std::uint64_t shifts = 0;
    bool operator==(const Answer& o) const
    {
        return assignment == o.assignment && shifts == o.shifts;
    }
};

Answer literalAnswer(const std::vector<double>& costs, int M, int N)
{
    LiteralMachine plain = prepareliteral(costs, M, N);
    Answer answer;
    int row = 0, column = 0;
    for (MunkresStep next = MunkresStep::step2b; next != MunkresStep::finished;) {
        answer.shifts += next == MunkresStep::step5;
        next = plain.take(next, &row, &column);
    }
    answer.assignment = plain.assignment;
    return answer;
}

// The deferred machine alone, its sums taken as exact until the largest cost
// plus their total passes exactBelow / 2 (whether or not a shift could round
// before); -1 measures the grain as the solver does. All 0 if it does not
// finish.
Answer deferredAnswer(const std::vector<double>& costs, int M, int N, double exactBelow)
{
    Machine machine(prepareliteral(costs, M, N), true);
    if (!machine.started) return {};
    if (exactBelow >= 0) {
        machine.state.lazy.largestStart = *std::max_element(costs.begin(), costs.end());
        machine.state.lazy.exactBelow = exactBelow;
    }
    std::uint64_t steps = 0;
    const bool finished = runstepmachine(&machine.state, steplimit(std::min(M, N)), &steps) ==
                          MunkresOutcome::finished;
    return finished ? Answer{machine.assignment, machine.state.shiftsRun} : Answer{};
}

} // namespace

TEST(BestmatchEquivalence, LeavingTheExactRegimeAtAnyShiftGivesTheSameAnswers)
{
    // Grid families, where shifts could stay exact to the end, made to take
    // rounding into account after a first shift, or once their sum passes a
    // few sizes.
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int> size(2, 40);
    for (int trial = 0; trial < 90 && !HasFailure(); ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs = familyCosts(trial % 3, M, N, rng);
        const Answer plain = literalAnswer(costs, M, N);
        for (double limit : {0.0, 4.0, 64.0, 1024.0}) {
            const double largest = *std::max_element(costs.begin(), costs.end());
            EXPECT_TRUE(deferredAnswer(costs, M, N, 2 * (largest + limit)) == plain)
                << "trial " << trial << ", leaving past " << limit;
        }
    }
}

TEST(BestmatchEquivalence, ControlTrustingSumsThatRoundGivesOtherAnswers)
{
    // Taking the sums as exact regardless of rounding trusts (x + h) - h ==
    // x. If the rounding families did not exercise rounding, this wrong
    // machine would agree with the literal one everywhere.
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<int> size(5, 30);
    int differing = 0;
    for (int trial = 0; trial < 200; ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs = familyCosts(3 + trial % 5, M, N, rng);
        differing += !(deferredAnswer(costs, M, N, INFINITY) == literalAnswer(costs, M, N));
    }
    EXPECT_GT(differing, 0);
}

namespace
{

// The same assignment, bit for bit the same total and the same failure from
// `solver` as from the literal reference.
::testing::AssertionResult
solvesLikeTheReference(const std::vector<double>& costs, int M, int N,
                       const std::function<void(double*, double*, const char**)>& solver)
{
    std::vector<double> fast(M), reference(M);
    double fastCost = 0, referenceCost = 0;
    const char *fastFailure = nullptr, *referenceFailure = nullptr;
    solver(fast.data(), &fastCost, &fastFailure);
    bestmatchliteral(reference.data(), &referenceCost, costs.data(), M, N, &referenceFailure);
    if (fastFailure != referenceFailure) return ::testing::AssertionFailure() << "failures differ";
    if (fast != reference) return ::testing::AssertionFailure() << "assignments differ";
    if (std::memcmp(&fastCost, &referenceCost, sizeof(double)))
        return ::testing::AssertionFailure()
               << "totals differ: " << fastCost << ", " << referenceCost;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult solvesLikeTheReference(const std::vector<double>& costs, int M, int N)
{
    return solvesLikeTheReference(costs, M, N, [&](double* a, double* c, const char** f) {
        bestmatch(a, c, costs.data(), M, N, f);
    });
}

} // namespace

TEST(BestmatchEquivalence, SolverAgreesWithTheReferenceOnLargerRectangles)
{
    // The whole solver, sizes 30 to 300 in both shapes and every family, both
    // ways of keeping the values: same assignment and total, bit for bit.
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<int> small(30, 90), large(150, 300);
    for (int trial = 0; trial < 2 * kFamilies && !HasFailure(); ++trial) {
        const bool wide = trial % 2 == 0;
        const int M = wide ? small(rng) : large(rng), N = wide ? large(rng) : small(rng);
        const std::vector<double> costs = familyCosts(trial % kFamilies, M, N, rng);
        EXPECT_TRUE(solvesLikeTheReference(costs, M, N))
            << "trial " << trial << ", " << M << "x" << N;
        EXPECT_TRUE(solvesLikeTheReference(costs, M, N,
                                           [&](double* a, double* c, const char** f) {
                                               bestmatchstepbystep(a, c, costs.data(), M, N, f);
                                           }))
            << "trial " << trial << ", dense";
    }
}

TEST(BestmatchEquivalence, CostsWrittenColumnByColumnGiveTheReferenceAnswers)
{
    // Zeros plentiful in the first columns, so the reduced costs are written
    // only as the run reads them, yet too few for the answer: the run shifts,
    // reads columns never written, may start over, and is checked on every
    // unit, with infinite costs (replaced in a copy) and without.
    std::mt19937_64 rng(41);
    std::uniform_int_distribution<int> digit(1, 9), early(0, 63);
    for (int trial = 0; trial < 6 && !HasFailure(); ++trial) {
        const int M = 120 + 20 * trial, N = M + 60;
        std::vector<double> costs(std::size_t(M) * N);
        for (double& c : costs) c = digit(rng);
        for (int i = 0; i < M; ++i)
            for (int k = 0; k < 3; ++k) costs[std::size_t(i) + std::size_t(early(rng)) * M] = 0.0;
        if (trial % 2) costs[std::size_t(M) * 70] = INFINITY;
        for (VectorUnit vu :
             {VectorUnit::plain, VectorUnit::sse2, VectorUnit::avx2, VectorUnit::avx512}) {
            if (!vectorUnitAvailable(vu)) continue;
            const BestmatchOptions options{true, vu, 1, 0};
            EXPECT_TRUE(solvesLikeTheReference(costs, M, N,
                                               [&](double* a, double* c, const char** f) {
                                                   bestmatchwith(a, c, costs.data(), M, N, options,
                                                                 f);
                                               }))
                << vectorUnitName(vu) << ", trial " << trial;
        }
        for (std::uint64_t at : {1, 3}) {
            EXPECT_TRUE(solvesLikeTheReference(costs, M, N,
                                               [&](double* a, double* c, const char** f) {
                                                   bestmatchstartingover(a, c, costs.data(), M, N,
                                                                         at, f);
                                               }))
                << "trial " << trial << ", starting over at shift " << at;
        }
    }
}

TEST(BestmatchEquivalence, ThousandsOfSmallProblemsOfEveryFamily)
{
    std::mt19937_64 rng(17);
    std::uniform_int_distribution<int> size(1, 30);
    int compared = 0;
    for (int trial = 0; trial < 150 * kFamilies && !HasFailure(); ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs = familyCosts(trial % kFamilies, M, N, rng);
        EXPECT_TRUE(solvesLikeTheReference(costs, M, N))
            << "trial " << trial << ", " << M << "x" << N;
        ++compared;
    }
    EXPECT_EQ(compared, 150 * kFamilies);
}

TEST(BestmatchEquivalence, StartingOverAtAnyShiftGivesTheSameAnswers)
{
    // A run that gives up deferring starts over element by element, from the
    // working costs the deferred run left as it found them.
    std::mt19937_64 rng(23);
    std::uniform_int_distribution<int> size(2, 60);
    for (int trial = 0; trial < 4 * kFamilies && !HasFailure(); ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs = familyCosts(trial % kFamilies, M, N, rng);
        for (std::uint64_t at : {1, 2, 5, 40}) {
            EXPECT_TRUE(solvesLikeTheReference(costs, M, N,
                                               [&](double* a, double* c, const char** f) {
                                                   bestmatchstartingover(a, c, costs.data(), M, N,
                                                                         at, f);
                                               }))
                << "trial " << trial << ", starting over at shift " << at;
        }
    }
}

TEST(BestmatchEquivalence, EveryVectorUnitAndThreadCountGivesTheReferenceAnswers)
{
    std::mt19937_64 rng(37);
    std::uniform_int_distribution<int> size(1, 120);
    for (VectorUnit vu :
         {VectorUnit::plain, VectorUnit::sse2, VectorUnit::avx2, VectorUnit::avx512}) {
        if (!vectorUnitAvailable(vu)) continue;
        for (int trial = 0; trial < 2 * kFamilies && !HasFailure(); ++trial) {
            const int M = size(rng), N = size(rng);
            const std::vector<double> costs = familyCosts(trial % kFamilies, M, N, rng);
            for (bool defer : {true, false}) {
                for (int threads : {1, 2}) {
                    const BestmatchOptions options{defer, vu, threads, 0};
                    EXPECT_TRUE(solvesLikeTheReference(costs, M, N,
                                                       [&](double* a, double* c, const char** f) {
                                                           bestmatchwith(a, c, costs.data(), M, N,
                                                                         options, f);
                                                       }))
                        << vectorUnitName(vu) << ", trial " << trial << ", deferred " << defer
                        << ", threads " << threads;
                }
            }
        }
    }
}

// Slow: run by the slow check (make test-slow), not by every test run.
TEST(BestmatchLarge, DISABLED_LargeProblemsAgreeWithTheReference)
{
    std::mt19937_64 rng(29);
    for (int family :
         {kUniform, kPowersOfTen, kZeroTinyOne, kDecimals, kForbiddenTies, kEuclidean}) {
        const std::vector<double> costs = familyCosts(family, 1000, 1000, rng);
        EXPECT_TRUE(solvesLikeTheReference(costs, 1000, 1000)) << "family " << family;
    }
    const std::vector<double> wide = familyCosts(kUniform, 500, 1000, rng);
    EXPECT_TRUE(solvesLikeTheReference(wide, 500, 1000));
    const std::vector<double> tall = familyCosts(kExponential, 1000, 500, rng);
    EXPECT_TRUE(solvesLikeTheReference(tall, 1000, 500));
    const std::vector<double> nearTies = familyCosts(kNearTies, 1000, 1000, rng);
    EXPECT_TRUE(solvesLikeTheReference(nearTies, 1000, 1000)) << "near ties";
    const std::vector<double> euclidean = familyCosts(kEuclidean, 2000, 2000, rng);
    EXPECT_TRUE(solvesLikeTheReference(euclidean, 2000, 2000)) << "Euclidean 2000";
}
