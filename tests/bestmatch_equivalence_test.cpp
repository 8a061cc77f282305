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

#include "assignment.h"
#include "column_scans.h"
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

// With deferred shifts the working costs are compared as values: a -0.0 that
// the plain machine never shifts comes out of the deferred sums as +0.0, and
// the two zeros take part in every comparison and shift alike.
::testing::AssertionResult sameState(const PlainMachine& p, const MunkresState& f, bool deferred)
{
    if (!deferred && std::memcmp(p.workCost.data(), f.workCost, p.workCost.size() * sizeof(double)))
        return ::testing::AssertionFailure() << "working costs differ";
    for (int j = 0; deferred && j < p.N; ++j)
        for (int i = 0; i < p.M; ++i)
            if (!(workcostof(f, i, j) == p.workCost[p.at(i, j)]))
                return ::testing::AssertionFailure()
                       << "working cost (" << i << ", " << j << ") differs: " << workcostof(f, i, j)
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

// Runs both machines in lockstep; returns the number of shifts.
std::uint64_t runInLockstep(const std::vector<double>& costs, int M, int N, bool deferred = false,
                            bool* stillExact = nullptr)
{
    PlainMachine plain = preparePlain(costs, M, N);
    std::vector<double> assignment(M), workCost = plain.workCost;
    MunkresState fast{};
    if (!obtainstate(&fast, assignment.data(), workCost.data(), M, N)) {
        ADD_FAILURE() << "no memory for the state";
        return 0;
    }
    for (int i = 0; i < M; ++i)
        if (plain.markInRow(plain.starred, i) >= 0)
            setstar(&fast, i, plain.markInRow(plain.starred, i));
    std::copy(plain.columnCovered.begin(), plain.columnCovered.end(), fast.columnCovered);
    if (deferred) defershifts(&fast, widestVectorUnit());
    fast.verificationShare = INFINITY; // every decision verified, however costly

    int row = 0, column = 0, fastRow = 0, fastColumn = 0;
    std::uint64_t steps = 0;
    for (MunkresStep next = MunkresStep::step2b; next != MunkresStep::finished; ++steps) {
        const MunkresStep plainNext = plain.take(next, &row, &column);
        const MunkresStep fastNext = take(&fast, next, &fastRow, &fastColumn);
        const bool sameStep = plainNext == fastNext && row == fastRow && column == fastColumn;
        EXPECT_TRUE(sameStep) << "step " << steps << ", " << M << "x" << N;
        EXPECT_TRUE(sameState(plain, fast, deferred)) << "step " << steps << ", " << M << "x" << N;
        if (::testing::Test::HasFailure()) break;
        next = plainNext;
    }
    EXPECT_LE(steps, steplimit(std::min(M, N)));
    const std::uint64_t shifts = fast.shiftsRun;
    if (stillExact) *stillExact = fast.shiftsDeferred && !fast.shiftsMayRound;
    releasestate(&fast);
    return shifts;
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

TEST(BestmatchEquivalence, DeferredShiftsMatchThePlainMachineOnEveryFamily)
{
    // Families on a binary grid, where shifts are deferred for the whole run
    // or until a sum would leave the exact range, and families that round at
    // once: every state between two steps must agree with the plain machine.
    std::mt19937_64 rng(20261208);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> size(1, 30);
    int i = 0, j = 0, M = 1, N = 1;
    const std::vector<std::function<double()>> families = {
        [&] { return unit(rng); },                       // uniform
        [&] { return double(int(unit(rng) * 5)); },      // small integers, ties
        [&] { return double((i + 1) * (j + 1)); },       // i*j
        [&] { return std::pow(10.0, -12 * unit(rng)); }, // 10^(-12U)
        [&] { return unit(rng) < 0.5 ? 1e-9 : 1e9; },    // 1e-9 next to 1e9
        [&] {
            const double u = unit(rng); // 0, tiny and ~1
            return u < 0.3 ? 0.0 : u < 0.6 ? std::pow(10.0, -15 - 3 * unit(rng)) : 1 + unit(rng);
        },
        [&] { return unit(rng) < 0.2 ? INFINITY : double(int(unit(rng) * 9)); }, // forbidden
        [&] { return i == 0 || j == N - 1 ? INFINITY : unit(rng); }, // forbidden row, column
        [&] { return std::round(10 * unit(rng)) / 10; },             // decimals, ties
        [&] { return double(int(unit(rng) * 64)) / 64; },            // k/64
        [&] { return std::round(0x1p52 * unit(rng)); },              // integers up to 2^52
        [&] { return double(int(unit(rng) * 100)); },                // integers in [0, 100)
        [&] { return 0x1p-1070 * double(int(unit(rng) * 16)); },     // subnormals
        [&] { return std::exp(-20 * unit(rng)); }};
    std::uint64_t shifts = 0;
    std::vector<int> endedExact(families.size());
    for (int trial = 0; trial < 26 * 14 && !HasFailure(); ++trial) {
        const auto& family = families[trial % families.size()];
        const bool larger = trial >= 26 * 13;
        M = larger ? 40 + int(unit(rng) * 40) : size(rng);
        N = larger ? 40 + int(unit(rng) * 40) : size(rng);
        std::vector<double> costs(std::size_t(M) * N);
        for (j = 0; j < N; ++j)
            for (i = 0; i < M; ++i) costs[i + std::size_t(j) * M] = family();
        // Infinite costs stand in as the solver replaces them.
        double largest = 0;
        for (double v : costs) largest = std::isfinite(v) ? std::max(largest, v) : largest;
        for (double& v : costs)
            if (std::isinf(v)) v = largest > 0 ? largest * 10 * double(costs.size()) : 10.0;
        const std::uint64_t plainShifts = runInLockstep(costs, M, N, false);
        bool stillExact = false;
        EXPECT_EQ(runInLockstep(costs, M, N, true, &stillExact), plainShifts) << "trial " << trial;
        endedExact[trial % families.size()] += stillExact && plainShifts > 0;
        shifts += plainShifts;
    }
    EXPECT_GT(shifts, 1000u);
    // Integers, i*j and k/64 keep exact sums; with uniform costs shifts may
    // round at once, with large integers when their sums need more than 53
    // bits.
    for (int family : {2, 9, 11}) EXPECT_GT(endedExact[family], 15) << family;
    EXPECT_LT(endedExact[0], 3);
    EXPECT_LT(endedExact[10], 20);
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

Answer plainAnswer(const std::vector<double>& costs, int M, int N)
{
    PlainMachine plain = preparePlain(costs, M, N);
    Answer answer;
    int row = 0, column = 0;
    for (MunkresStep next = MunkresStep::step2b; next != MunkresStep::finished;) {
        answer.shifts += next == MunkresStep::step5;
        next = plain.take(next, &row, &column);
    }
    answer.assignment = plain.assignment;
    return answer;
}

// The machine alone, shifts deferred until their sum passes exactBelow / 2
// (whether or not it could round); all 0 if it does not finish.
Answer deferredAnswer(const std::vector<double>& costs, int M, int N, double exactBelow)
{
    PlainMachine prepared = preparePlain(costs, M, N);
    std::vector<double> assignment(M), workCost = prepared.workCost;
    MunkresState state{};
    if (!obtainstate(&state, assignment.data(), workCost.data(), M, N)) return {};
    for (int i = 0; i < M; ++i)
        if (prepared.markInRow(prepared.starred, i) >= 0)
            setstar(&state, i, prepared.markInRow(prepared.starred, i));
    std::copy(prepared.columnCovered.begin(), prepared.columnCovered.end(), state.columnCovered);
    defershifts(&state, widestVectorUnit());
    state.verificationShare = INFINITY;
    state.largestStart = *std::max_element(workCost.begin(), workCost.end());
    state.exactBelow = exactBelow;
    std::uint64_t steps = 0;
    const bool finished =
        runstepmachine(&state, steplimit(std::min(M, N)), &steps) == MunkresOutcome::finished;
    Answer answer{assignment, state.shiftsRun};
    releasestate(&state);
    return finished ? answer : Answer{};
}

std::vector<double> familyCosts(int family, int M, int N, std::mt19937_64& rng)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> costs(std::size_t(M) * N);
    for (int j = 0; j < N; ++j) {
        for (int i = 0; i < M; ++i) {
            const double u = unit(rng);
            double& v = costs[i + std::size_t(j) * M];
            switch (family) {
            case 0:
                v = double(int(u * 100));
                break; // integers
            case 1:
                v = double((i + 1) * (j + 1));
                break; // i*j
            case 2:
                v = double(int(u * 64)) / 64;
                break; // k/64
            case 3:
                v = u;
                break; // uniform
            case 4:
                v = std::pow(10.0, -12 * u);
                break; // 10^(-12U)
            case 5:
                v = u < 0.3 ? 0.0 : u < 0.6 ? 1e-16 * u : 1 + u;
                break; // 0, tiny, ~1
            case 6:
                v = std::round(10 * u) / 10;
                break; // decimals
            case 7:
                v = std::exp(-20 * u);
                break; // exp(-20U)
            case 8:
                v = u < 0.2 ? INFINITY : double(int(u * 9));
                break; // forbidden pairs among ties
            case 9:
                v = i == 0 || j == N - 1 ? INFINITY : u;
                break; // a forbidden row and column
            case 10:
                v = u < 0.5 ? 1e-9 : 1e9;
                break; // 1e-9 next to 1e9
            case 11:
                v = 0x1p50 + double(int(u * 4096));
                break; // integers near 2^50: sums leave the exact range
            case 12:
                v = 0x1p-1070 * double(int(u * 16));
                break; // subnormals
            default:
                v = std::pow(10.0, -15 - 3 * u) * (u < 0.5) + (u >= 0.8) * (1 + u);
                break; // 0, 1e-15..1e-18 and ~1 in the same rows
            }
        }
    }
    return costs;
}

} // namespace

TEST(BestmatchEquivalence, LeavingDeferralAtAnyShiftGivesTheSameAnswers)
{
    // Grid families, where deferral could go on to the end, made to write the
    // shifts out after a first shift, or once their sum passes a few sizes.
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<int> size(2, 40);
    for (int trial = 0; trial < 90 && !HasFailure(); ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs = familyCosts(trial % 3, M, N, rng);
        const Answer plain = plainAnswer(costs, M, N);
        for (double limit : {0.0, 4.0, 64.0, 1024.0}) {
            double largest = 0;
            for (double v : costs) largest = std::max(largest, v);
            EXPECT_TRUE(deferredAnswer(costs, M, N, 2 * (largest + limit)) == plain)
                << "trial " << trial << ", leaving past " << limit;
        }
    }
}

TEST(BestmatchEquivalence, ControlDeferringShiftsThatRoundGivesOtherAnswers)
{
    // Deferring regardless of rounding trusts (x + h) - h == x. If the
    // rounding families did not exercise rounding, this wrong machine would
    // agree with the plain one everywhere.
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<int> size(5, 30);
    int differing = 0;
    for (int trial = 0; trial < 200; ++trial) {
        const int M = size(rng), N = size(rng);
        const std::vector<double> costs = familyCosts(3 + trial % 5, M, N, rng);
        differing += !(deferredAnswer(costs, M, N, INFINITY) == plainAnswer(costs, M, N));
    }
    EXPECT_GT(differing, 0);
}

constexpr int kFamilies = 14;

// The same assignment, bit for bit the same total and the same failure from
// bestmatch (or from `solver`) as from the step-by-step reference.
::testing::AssertionResult
solvesLikeTheReference(const std::vector<double>& costs, int M, int N,
                       const std::function<void(double*, double*, const char**)>& solver)
{
    std::vector<double> fast(M), reference(M);
    double fastCost = 0, referenceCost = 0;
    const char *fastFailure = nullptr, *referenceFailure = nullptr;
    solver(fast.data(), &fastCost, &fastFailure);
    bestmatchstepbystep(reference.data(), &referenceCost, costs.data(), M, N, &referenceFailure);
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

// Infinite costs as the solver replaces them, for the machine alone.
std::vector<double> withInfinitiesReplaced(std::vector<double> costs)
{
    double largest = 0;
    for (double v : costs) largest = std::isfinite(v) ? std::max(largest, v) : largest;
    for (double& v : costs)
        if (std::isinf(v)) v = largest > 0 ? largest * 10 * double(costs.size()) : 10.0;
    return costs;
}

TEST(BestmatchEquivalence, SolverAgreesWithItsStepByStepReferenceOnLargerRectangles)
{
    // The whole solver, sizes 30 to 300 in both shapes and every family: same
    // assignment and total, bit for bit, as with every shift applied element
    // by element; the machine alone makes the same number of shifts.
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<int> small(30, 90), large(150, 300);
    for (int trial = 0; trial < 2 * kFamilies && !HasFailure(); ++trial) {
        const bool wide = trial % 2 == 0;
        const int M = wide ? small(rng) : large(rng), N = wide ? large(rng) : small(rng);
        const std::vector<double> costs = familyCosts(trial % kFamilies, M, N, rng);
        EXPECT_TRUE(solvesLikeTheReference(costs, M, N))
            << "trial " << trial << ", " << M << "x" << N;
        const std::vector<double> prepared = withInfinitiesReplaced(costs);
        EXPECT_TRUE(deferredAnswer(prepared, M, N, -1) == plainAnswer(prepared, M, N))
            << "trial " << trial;
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

// Slow: run by the slow check (make test-slow), not by every test run.
TEST(BestmatchLarge, DISABLED_ThousandByThousandAgreesWithTheReference)
{
    std::mt19937_64 rng(29);
    for (int family : {3, 4, 5, 6, 8, 13}) {
        const std::vector<double> costs = familyCosts(family, 1000, 1000, rng);
        EXPECT_TRUE(solvesLikeTheReference(costs, 1000, 1000)) << "family " << family;
    }
    const std::vector<double> wide = familyCosts(3, 500, 1000, rng);
    EXPECT_TRUE(solvesLikeTheReference(wide, 500, 1000));
    const std::vector<double> tall = familyCosts(7, 1000, 500, rng);
    EXPECT_TRUE(solvesLikeTheReference(tall, 1000, 500));
}

TEST(BestmatchColumnScans, EveryUnitFindsWhatThePlainLoopsFind)
{
    // Columns of every length around the register and block widths, with
    // covered rows (NaN shifts), ties, signed zeros, subnormals and infinite
    // sums; every unit must give the plain loops' least, rows and blocks.
    std::mt19937_64 rng(31);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const ColumnScans& plain = columnScans(VectorUnit::plain);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (VectorUnit vu : {VectorUnit::sse2, VectorUnit::avx2, VectorUnit::avx512}) {
        if (!vectorUnitAvailable(vu)) continue;
        const ColumnScans& fast = columnScans(vu);
        for (int M = 0; M <= 70 && !HasFailure(); ++M) {
            for (int trial = 0; trial < 20; ++trial) {
                std::vector<double> start(M), shift(M);
                for (int i = 0; i < M; ++i) {
                    const double u = unit(rng);
                    start[i] = u < 0.2    ? 0.0
                               : u < 0.3  ? -0.0
                               : u < 0.35 ? 0x1p-1070
                               : u < 0.4  ? INFINITY
                                          : double(int(u * 6));
                    shift[i] = unit(rng) < 0.3 ? nan : unit(rng) < 0.5 ? 0.0 : 0.5;
                }
                const double least = plain.leastRaised(start.data(), shift.data(), M);
                ASSERT_TRUE(fast.leastRaised(start.data(), shift.data(), M) == least ||
                            (std::isinf(least) && least > 0))
                    << vectorUnitName(vu) << " M=" << M;
                const int from = M ? int(unit(rng) * M) : 0;
                for (double value : {least, 0.0, 2.5, 3.0}) {
                    EXPECT_EQ(fast.firstRaisedEqual(start.data(), shift.data(), from, M, value),
                              plain.firstRaisedEqual(start.data(), shift.data(), from, M, value))
                        << vectorUnitName(vu) << " M=" << M;
                }
                for (double bound : {0.0, 1e-3, 0.3}) {
                    for (double columnShift : {0.0, 1.0, 3.5}) {
                        // A block is reported at or before the plain loops'
                        // block, never past a candidate.
                        const int f = fast.firstCandidateBlock(start.data(), shift.data(), from, M,
                                                               columnShift, bound);
                        const int p = plain.firstCandidateBlock(start.data(), shift.data(), from, M,
                                                                columnShift, bound);
                        EXPECT_TRUE(f == p || (p == M && M - f < kScanBlock && f >= from))
                            << vectorUnitName(vu) << " M=" << M << " from " << from;
                    }
                }
            }
        }
    }
}

TEST(BestmatchEquivalence, EveryVectorUnitGivesTheReferenceAnswers)
{
    std::mt19937_64 rng(37);
    std::uniform_int_distribution<int> size(1, 120);
    for (VectorUnit vu :
         {VectorUnit::plain, VectorUnit::sse2, VectorUnit::avx2, VectorUnit::avx512}) {
        if (!vectorUnitAvailable(vu)) continue;
        for (int trial = 0; trial < 2 * kFamilies && !HasFailure(); ++trial) {
            const int M = size(rng), N = size(rng);
            const std::vector<double> costs = familyCosts(trial % kFamilies, M, N, rng);
            EXPECT_TRUE(solvesLikeTheReference(costs, M, N,
                                               [&](double* a, double* c, const char** f) {
                                                   bestmatchonunit(a, c, costs.data(), M, N, vu, f);
                                               }))
                << vectorUnitName(vu) << ", trial " << trial;
        }
    }
}
