// The Viterbi recursion with single-precision intermediates, on plain arrays.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "best_path.h"

namespace
{

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::nan("");

struct Scores {
    std::vector<double> D, P, S;
};

// Runs the core on K-by-N inputs, outputs prefilled as the entry layer leaves
// them (D and P are overwritten anyway; S starts at zero).
Scores run(int K, int N, const std::vector<double>& O, const std::vector<double>& R,
           const std::vector<double>& T, bool normalise)
{
    const std::size_t cells = static_cast<std::size_t>(K) * N;
    Scores out{std::vector<double>(cells, kNaN), std::vector<double>(cells, kNaN),
               std::vector<double>(N, 0.0)};
    bestPathScoresInPlace(K, N, O.data(), R.data(), T.data(), normalise, out.D.data(), out.P.data(),
                          out.S.data());
    return out;
}

// Equal bit for bit: -0 differs from +0, a NaN equals only the same NaN.
bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

double single(double value) { return static_cast<float>(value); }

// The recursion written as plainly as possible: one destination state at a
// time, every source in ascending order.
Scores plainRecursion(std::size_t K, std::size_t N, const std::vector<double>& O,
                      const std::vector<double>& R, const std::vector<double>& T, bool normalise)
{
    Scores out{std::vector<double>(K * N), std::vector<double>(K * N), std::vector<double>(N)};
    for (std::size_t t = 0; t < N; ++t) {
        float total = 0.0f;
        for (std::size_t j = 0; j < K; ++j) {
            float best = kInitialBest;
            std::size_t from = 0;
            for (std::size_t k = 0; t > 0 && k < K; ++k) {
                const float candidate = static_cast<float>(out.D[(t - 1) * K + k] * T[j * K + k]);
                if (candidate > best) {
                    best = candidate;
                    from = k + 1;
                }
            }
            const float v = static_cast<float>(t == 0 ? O[j] * R[j] : best * O[t * K + j]);
            out.D[t * K + j] = v;
            out.P[t * K + j] = static_cast<double>(from);
            total = total + v;
        }
        if (!normalise) continue;
        const float scale = 1.0f / total;
        for (std::size_t j = 0; j < K; ++j) out.D[t * K + j] = scale * out.D[t * K + j];
        out.S[t] = scale;
    }
    return out;
}

// Values that exercise ties, zeros and underflow, and at the given rate
// special ones: NaN, the infinities and negative values.
std::vector<double> mixedValues(std::size_t count, double specialRate, std::mt19937_64* generator)
{
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> values(count);
    for (double& value : values) {
        const bool special = uniform(*generator) < specialRate;
        const double pick = uniform(*generator);
        if (special) {
            value = pick < 0.3 ? kNaN : pick < 0.6 ? (pick < 0.45 ? kInf : -kInf) : -pick;
        } else if (pick < 1.0 / 3) {
            value = uniform(*generator);
        } else if (pick < 2.0 / 3) {
            value = std::round(4 * uniform(*generator)) / 4;
        } else {
            value = std::pow(10.0, -45 * uniform(*generator));
        }
    }
    return values;
}

// Bit for bit, except that any NaN equals any other: which NaN operand a
// product passes on is open in IEEE 754 and the compiler may swap operands.
bool sameResults(std::vector<double> a, std::vector<double> b)
{
    for (double& value : a) value = std::isnan(value) ? kNaN : value;
    for (double& value : b) value = std::isnan(value) ? kNaN : value;
    return sameBits(a, b);
}

} // namespace

TEST(PathtraceCore, InitialBestIsMinus1e20RoundedToSingle)
{
    EXPECT_EQ(static_cast<double>(kInitialBest), -100000002004087734272.0);
}

TEST(PathtraceCore, SingleStateSingleStep)
{
    Scores off = run(1, 1, {0.1}, {1}, {1}, false);
    EXPECT_EQ(off.D[0], 0.100000001490116119384765625);
    EXPECT_EQ(off.P[0], 0.0);
    EXPECT_EQ(off.S[0], 0.0);
    Scores on = run(1, 1, {0.1}, {1}, {1}, true);
    EXPECT_EQ(on.D[0], 1.00000001490116119384765625);
    EXPECT_EQ(on.P[0], 0.0);
    EXPECT_EQ(on.S[0], 10.0);
}

TEST(PathtraceCore, TransitionRowsAreSourcesColumnsDestinations)
{
    Scores out = run(2, 2, {0.5, 0.2, 1, 1}, {0.5, 0.5}, {0.5, 0.1, 0.5, 0.9}, false);
    EXPECT_TRUE(sameBits(out.D, {0.25, 0.100000001490116119384765625, 0.125, 0.125}));
    EXPECT_TRUE(sameBits(out.P, {0, 0, 1, 1}));
}

TEST(PathtraceCore, ThreeStepsWithAndWithoutNormalisation)
{
    const std::vector<double> O{0.5, 0.2, 0.1, 0.6, 0.3, 0.3};
    const std::vector<double> R{0.5, 0.5};
    const std::vector<double> T{0.9, 0.1, 0.2, 0.8};
    Scores on = run(2, 3, O, R, T, true);
    EXPECT_TRUE(sameBits(on.P, {0, 0, 1, 2, 1, 2}));
    EXPECT_TRUE(sameBits(on.S, {2.857142925262451, 4.964539051055908, 4.006819725036621}));
    EXPECT_TRUE(sameBits(on.D, {0.7142857313156128, 0.28571429678371985, 0.3191489199736921,
                                0.6808511180500858, 0.34526850288578714, 0.6547314562244111}));
    Scores off = run(2, 3, O, R, T, false);
    EXPECT_TRUE(sameBits(off.P, on.P));
    EXPECT_TRUE(sameBits(off.S, {0, 0, 0}));
    EXPECT_EQ(off.D[4], 0.006074999924749136);
    EXPECT_EQ(off.D[5], 0.01152000017464161);
}

TEST(PathtraceCore, ColumnTotalsAddInSinglePrecision)
{
    // In single precision 1 + 2^-24 rounds back to 1, twice; a double total
    // would reach 1 + 2^-23 and change the scale.
    const double half = std::ldexp(1.0, -24);
    Scores out = run(3, 1, {1, half, half}, {1, 1, 1}, std::vector<double>(9, 1), true);
    EXPECT_EQ(out.S[0], 1.0);
    EXPECT_TRUE(sameBits(out.D, {1, half, half}));
}

TEST(PathtraceCore, CandidatesTiedInSinglePrecisionKeepTheLowestSource)
{
    // 1 + 2^-40 is larger in double but rounds to the same single as 1.
    const double nudged = 1.0 + std::ldexp(1.0, -40);
    Scores tied = run(2, 2, {1, 1, 1, 1}, {1, 1}, {1, nudged, 1, nudged}, false);
    EXPECT_TRUE(sameBits(tied.P, {0, 0, 1, 1}));
    // A difference that survives the rounding does move the pointer.
    const double clearly = 1.0 + std::ldexp(1.0, -20);
    Scores apart = run(2, 2, {1, 1, 1, 1}, {1, 1}, {1, clearly, 1, clearly}, false);
    EXPECT_TRUE(sameBits(apart.P, {0, 0, 2, 2}));
    EXPECT_EQ(apart.D[2], single(clearly));
}

TEST(PathtraceCore, NaNAndCandidatesAtTheInitialBestNeverWin)
{
    Scores one = run(2, 2, {kNaN, 0.5, 1, 1}, {1, 1}, {1, 1, 1, 1}, false);
    EXPECT_TRUE(sameBits(one.P, {0, 0, 2, 2}));
    EXPECT_EQ(one.D[2], 0.5);
    // With no candidate above the initial best the pointer is 0 and the score
    // is the initial best times the local score.
    Scores all = run(2, 2, {kNaN, kNaN, 1, 0.5}, {1, 1}, {1, 1, 1, 1}, false);
    EXPECT_TRUE(sameBits(all.P, {0, 0, 0, 0}));
    EXPECT_EQ(all.D[2], static_cast<double>(kInitialBest));
    EXPECT_EQ(all.D[3], single(static_cast<double>(kInitialBest) * 0.5));
    // Nor does a candidate equal to the initial best, or minus infinity.
    const double initial = kInitialBest;
    Scores low = run(2, 2, {initial, -kInf, 1, 1}, {1, 1}, {1, 1, 1, 1}, false);
    EXPECT_TRUE(sameBits(low.P, {0, 0, 0, 0}));
    EXPECT_EQ(low.D[2], initial);
}

TEST(PathtraceCore, ZeroColumnPropagatesWithPointerOne)
{
    // The first column is zero; every later candidate is 0, above the initial best.
    Scores out = run(2, 3, {0, 0, 0.4, 0.6, 0.7, 0.2}, {1, 1}, {0.3, 0.7, 0.6, 0.4}, false);
    EXPECT_TRUE(sameBits(out.D, {0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(sameBits(out.P, {0, 0, 1, 1, 1, 1}));
}

TEST(PathtraceCore, NormalisingAZeroColumnGivesInfiniteScaleAndNaNScores)
{
    Scores out = run(2, 2, {0, 0, 0.5, 0.5}, {1, 1}, {1, 1, 1, 1}, true);
    EXPECT_EQ(out.S[0], kInf);
    EXPECT_TRUE(std::isnan(out.D[0]) && std::isnan(out.D[1]));
    // Every candidate of the next column is NaN.
    EXPECT_TRUE(sameBits(out.P, {0, 0, 0, 0}));
    const double fallback = single(static_cast<double>(kInitialBest) * 0.5);
    const double scale = single(1.0f / static_cast<float>(fallback + fallback));
    EXPECT_EQ(out.D[2], scale * fallback);
    EXPECT_EQ(out.S[1], scale);
}

TEST(PathtraceCore, NoStepsTouchesNothing)
{
    double D = 7, P = 7, S = 7;
    const double O = 1, R = 1, T = 1;
    bestPathScoresInPlace(1, 0, &O, &R, &T, true, &D, &P, &S);
    bestPathScoresInPlace(-1, 1, &O, &R, &T, true, &D, &P, &S);
    EXPECT_EQ(D, 7);
    EXPECT_EQ(P, 7);
    EXPECT_EQ(S, 7);
}

TEST(PathtraceCore, SignedZerosKeepTheFirstSource)
{
    // -0 and +0 compare equal: the first candidate (-0) stays the best, and
    // its sign reaches the score.
    Scores out = run(2, 2, {-1, 1, 0, 1}, {0, 0}, {1, 1, 1, 1}, false);
    EXPECT_EQ(out.P[2], 1.0);
    EXPECT_TRUE(std::signbit(out.D[0]));
    EXPECT_TRUE(std::signbit(out.D[3]));
}

TEST(PathtraceCore, MatchesThePlainRecursionBitForBit)
{
    // Every state count up to 13 covers the side-by-side destinations and each
    // possible remainder; 37 and 64 cover longer chains.
    std::mt19937_64 generator(2024);
    std::vector<int> stateCounts;
    for (int K = 0; K <= 13; ++K) stateCounts.push_back(K);
    stateCounts.insert(stateCounts.end(), {37, 64});
    for (int K : stateCounts) {
        for (double specialRate : {0.0, 0.03}) {
            for (bool normalise : {false, true}) {
                const std::size_t k = static_cast<std::size_t>(K);
                const int N = 1 + static_cast<int>(generator() % 60);
                const std::vector<double> O = mixedValues(k * N, specialRate, &generator);
                const std::vector<double> R = mixedValues(k, specialRate, &generator);
                const std::vector<double> T = mixedValues(k * k, specialRate, &generator);
                Scores fast = run(K, N, O, R, T, normalise);
                Scores plain = plainRecursion(k, N, O, R, T, normalise);
                const std::string where = "K = " + std::to_string(K) + ", N = " + std::to_string(N);
                EXPECT_TRUE(sameResults(fast.D, plain.D)) << where;
                EXPECT_TRUE(sameBits(fast.P, plain.P)) << where;
                EXPECT_TRUE(sameResults(fast.S, plain.S)) << where;
            }
        }
    }
}

namespace
{

// Values that tie often after rounding to single (1 + 2^-40 rounds to 1),
// signed zeros, single-precision subnormals and products that underflow,
// overflow to infinity or are NaN.
std::vector<double> tieValues(std::size_t count, std::mt19937_64* generator)
{
    static const double choices[] = {0.0,
                                     -0.0,
                                     1.0,
                                     1.0 + std::ldexp(1.0, -40),
                                     1.0 - std::ldexp(1.0, -30),
                                     0.5,
                                     std::ldexp(1.0, -140),
                                     std::ldexp(1.0, -75),
                                     1e30,
                                     -0.25,
                                     kNaN,
                                     kInf,
                                     -kInf};
    std::vector<double> values(count);
    for (double& value : values) value = choices[(*generator)() % std::size(choices)];
    return values;
}

const VectorUnit kUnits[] = {VectorUnit::plain, VectorUnit::sse2, VectorUnit::avx2,
                             VectorUnit::avx512};

Scores runOnUnit(VectorUnit unit, int K, int N, const std::vector<double>& O,
                 const std::vector<double>& R, const std::vector<double>& T, bool normalise)
{
    const std::size_t cells = static_cast<std::size_t>(K) * N;
    Scores out{std::vector<double>(cells, kNaN), std::vector<double>(cells, kNaN),
               std::vector<double>(N, 0.0)};
    bestPathScoresOnUnit(unit, K, N, O.data(), R.data(), T.data(), normalise, out.D.data(),
                         out.P.data(), out.S.data());
    return out;
}

} // namespace

// Every vector unit against the plain recursion: every state count up to 70
// (each remainder of 4, 8 and 16 destinations, and blocks of 4 registers),
// ordinary, special and tie-heavy values, normalisation off and on.
TEST(PathtraceCore, EveryVectorUnitMatchesThePlainRecursionBitForBit)
{
    for (VectorUnit unit : kUnits) {
        if (!vectorUnitAvailable(unit)) {
            std::printf("%s: not available here, not tested\n", vectorUnitName(unit));
            continue;
        }
        std::mt19937_64 generator(11);
        for (int K = 0; K <= 70; ++K) {
            for (int kind = 0; kind < 3; ++kind) {
                const std::size_t k = static_cast<std::size_t>(K);
                const int N = 1 + static_cast<int>(generator() % 12);
                const bool normalise = generator() % 2 == 0;
                auto values = [&](std::size_t count) {
                    return kind == 2 ? tieValues(count, &generator)
                                     : mixedValues(count, kind == 0 ? 0.0 : 0.05, &generator);
                };
                const std::vector<double> O = values(k * N), R = values(k), T = values(k * k);
                Scores fast = runOnUnit(unit, K, N, O, R, T, normalise);
                Scores plain = plainRecursion(k, N, O, R, T, normalise);
                const std::string where =
                    std::string(vectorUnitName(unit)) + ", K = " + std::to_string(K) +
                    ", N = " + std::to_string(N) + ", kind " + std::to_string(kind);
                EXPECT_TRUE(sameResults(fast.D, plain.D)) << where;
                EXPECT_TRUE(sameBits(fast.P, plain.P)) << where;
                EXPECT_TRUE(sameResults(fast.S, plain.S)) << where;
            }
        }
    }
}

// Hand-made columns for each unit: ties after rounding keep the lowest
// source, NaN and candidates at or below the initial best never win, a zero
// column gives pointer 1, -0 before +0 keeps -0 and +0 before -0 keeps +0;
// at K = 37 and 70 the decisive sources sit in the register tails. A single
// register group searches even and odd sources apart (K = 5 to 16): ties,
// zeros and NaN across the two halves keep the single chain's choice.
TEST(PathtraceCore, EveryVectorUnitKeepsTiesNaNAndZerosAsThePlainLoops)
{
    const double nudged = 1.0 + std::ldexp(1.0, -40);
    for (VectorUnit unit : kUnits) {
        if (!vectorUnitAvailable(unit)) continue;
        for (int K : {1, 5, 8, 12, 16, 37, 70}) {
            const std::size_t k = static_cast<std::size_t>(K);
            for (int pattern = 0; pattern < 7; ++pattern) {
                std::vector<double> O(2 * k, 1.0), R(k, 1.0), T(k * k, 1.0);
                for (std::size_t s = 0; s < k; ++s) {
                    switch (pattern) {
                    case 0: // all tied after rounding, the last one larger in double
                        O[s] = s + 1 == k ? nudged : 1.0;
                        break;
                    case 1: // NaN everywhere except the last source
                        O[s] = s + 1 == k ? 0.5 : kNaN;
                        break;
                    case 2: // zeros, the first one negative
                        O[s] = s == 0 ? -0.0 : 0.0;
                        break;
                    case 4: // the largest at an odd source, tied at the next
                        O[s] = s == 1 || s == 2 ? 2.0 : 1.0;
                        break;
                    case 5: // zeros, the second one negative
                        O[s] = s == 1 ? -0.0 : 0.0;
                        break;
                    case 6: // NaN at every even source
                        O[s] = s % 2 ? 1.0 : kNaN;
                        break;
                    case 3: // at most the initial best, or -Inf
                        O[s] = s % 2 ? -kInf : static_cast<double>(kInitialBest);
                        break;
                    }
                }
                for (bool normalise : {false, true}) {
                    Scores fast = runOnUnit(unit, K, 2, O, R, T, normalise);
                    Scores plain = plainRecursion(k, 2, O, R, T, normalise);
                    const std::string where = std::string(vectorUnitName(unit)) +
                                              ", K = " + std::to_string(K) + ", pattern " +
                                              std::to_string(pattern);
                    EXPECT_TRUE(sameResults(fast.D, plain.D)) << where;
                    EXPECT_TRUE(sameBits(fast.P, plain.P)) << where;
                    EXPECT_TRUE(sameResults(fast.S, plain.S)) << where;
                }
            }
        }
    }
}

// The unit a call runs on: never wider than allowed, always available; the
// plain loops for the fewest states, at most AVX2 below kWidestStates. And
// the whole recursion on that unit, around both thresholds, gives the plain
// recursion's bits.
TEST(PathtraceCore, UnitChoiceStaysWithinTheAllowedUnitsAndKeepsTheBits)
{
    for (VectorUnit widest : kUnits) {
        if (!vectorUnitAvailable(widest)) continue;
        for (int K = 0; K <= 40; ++K) {
            const VectorUnit unit = bestPathUnitFor(widest, K);
            EXPECT_LE(unit, widest) << K;
            EXPECT_TRUE(vectorUnitAvailable(unit)) << K;
            if (K < kVectorStates) {
                EXPECT_EQ(unit, VectorUnit::plain) << K;
            }
            if (K < kWidestStates) {
                EXPECT_LE(unit, VectorUnit::avx2) << K;
            }
        }
    }
    std::mt19937_64 generator(23);
    for (int K : {kVectorStates - 1, kVectorStates, kWidestStates - 1, kWidestStates}) {
        const std::size_t k = static_cast<std::size_t>(K);
        const int N = 9;
        const std::vector<double> O = mixedValues(k * N, 0.05, &generator);
        const std::vector<double> R = mixedValues(k, 0.05, &generator);
        const std::vector<double> T = tieValues(k * k, &generator);
        for (bool normalise : {false, true}) {
            const Scores chosen = run(K, N, O, R, T, normalise);
            const Scores plain = plainRecursion(k, N, O, R, T, normalise);
            EXPECT_TRUE(sameResults(chosen.D, plain.D)) << K;
            EXPECT_TRUE(sameBits(chosen.P, plain.P)) << K;
            EXPECT_TRUE(sameResults(chosen.S, plain.S)) << K;
        }
    }
}
