// The transition-count core against the plain three-loop form, bit for bit.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "transition_counts.h"

namespace
{

using Values = std::vector<double>;

struct Chain {
    int K, T;
    Values alpha, beta, A, obslik;
};

Values uniformValues(std::size_t count, std::mt19937_64& generator, double low)
{
    std::uniform_real_distribution<double> uniform(low, 1.0);
    Values values(count);
    for (double& value : values) value = uniform(generator);
    return values;
}

Chain randomChain(int K, int T, std::mt19937_64& generator, double low)
{
    const std::size_t sequence = static_cast<std::size_t>(K) * T;
    return {K,
            T,
            uniformValues(sequence, generator, low),
            uniformValues(sequence, generator, low),
            uniformValues(static_cast<std::size_t>(K) * K, generator, low),
            uniformValues(sequence, generator, low)};
}

// The core, with working arrays full of NaN to show their contents are ignored.
Values tally(const Chain& c, Values out)
{
    Values w(c.K, std::nan("")), X(out.size(), std::nan(""));
    tallyTransitionsInPlace(c.K, c.T, c.alpha.data(), c.beta.data(), c.A.data(), c.obslik.data(),
                            out.data(), w.data(), X.data());
    return out;
}

// The definition, loop for loop: descending steps, the sum row by row.
Values plainTally(const Chain& c, Values out)
{
    const int K = c.K;
    Values w(K), X(out.size());
    for (int t = c.T - 2; t >= 0; --t) {
        for (int j = 0; j < K; ++j) w[j] = c.beta[j + (t + 1) * K] * c.obslik[j + (t + 1) * K];
        double s = 0.0;
        for (int i = 0; i < K; ++i) {
            for (int j = 0; j < K; ++j) {
                const double x = (c.A[i + j * K] * c.alpha[i + t * K]) * w[j];
                X[i + j * K] = x;
                s = s + x;
            }
        }
        for (int i = 0; i < K; ++i) {
            for (int j = 0; j < K; ++j) out[i + j * K] = out[i + j * K] + X[i + j * K] / s;
        }
    }
    return out;
}

bool sameBits(const Values& a, const Values& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

} // namespace

// Out is added into, never cleared: it starts non-zero and non-symmetric.
// Signed inputs give sums of either sign and far from the entries' scale.
TEST(PairtallyCore, MatchesThePlainLoopsBitForBit)
{
    std::mt19937_64 generator(7);
    for (int K : {0, 1, 2, 3, 5, 8, 17, 40, 129}) {
        for (int T : {0, 1, 2, 3, 9, 60}) {
            for (double low : {0.0, -1.0}) {
                const Chain chain = randomChain(K, T, generator, low);
                const Values start = uniformValues(static_cast<std::size_t>(K) * K, generator, low);
                EXPECT_TRUE(sameBits(tally(chain, start), plainTally(chain, start)))
                    << K << "x" << T << " from " << low;
            }
        }
    }
}

TEST(PairtallyCore, AZeroTableTurnsEveryCountIntoNaN)
{
    std::mt19937_64 generator(13);
    Chain chain = randomChain(3, 6, generator, 0.0);
    for (int i = 0; i < 3; ++i) chain.alpha[4 * 3 + i] = 0.0; // the first step taken, t = T-2
    for (double count : tally(chain, Values(9, 0.0))) EXPECT_TRUE(std::isnan(count));
}

namespace
{

const VectorUnit kUnits[] = {VectorUnit::plain, VectorUnit::sse2, VectorUnit::avx2,
                             VectorUnit::avx512};

// The core on a unit and thread count, its working arrays full of NaN.
Values tallyOn(VectorUnit unit, int threads, const Chain& c, Values out)
{
    Values w(c.K, std::nan("")), X(out.size(), std::nan(""));
    Values work(tallyWorkingDoubles(unit, c.K, c.T, threads), std::nan(""));
    tallyTransitionsOnUnit(unit, threads, c.K, c.T, c.alpha.data(), c.beta.data(), c.A.data(),
                           c.obslik.data(), out.data(), w.data(), X.data(),
                           work.empty() ? nullptr : work.data());
    return out;
}

// Bit for bit, except that any NaN equals any other: which NaN operand a sum
// passes on is open in IEEE 754 and the compiler may swap the operands.
bool sameResults(Values a, Values b)
{
    for (double& value : a) value = std::isnan(value) ? std::nan("") : value;
    for (double& value : b) value = std::isnan(value) ? std::nan("") : value;
    return sameBits(a, b);
}

// Every unit on 1, 2 and 3 threads against the plain loops.
void expectEveryUnitMatches(const Chain& chain, const Values& start, const std::string& where)
{
    const Values plain = plainTally(chain, start);
    for (VectorUnit unit : kUnits) {
        if (!vectorUnitAvailable(unit)) continue;
        for (int threads = 1; threads <= 3; ++threads) {
            EXPECT_TRUE(sameResults(tallyOn(unit, threads, chain, start), plain))
                << where << " on " << vectorUnitName(unit) << ", " << threads << " threads";
        }
    }
}

} // namespace

// Every K from 0 to 130 (each remainder of 2, 4 and 8 lanes and of the
// register blocks), step counts around the steps summed at once (8, 16, 32)
// and the block of 64 steps, signed and non-negative inputs.
TEST(PairtallyCore, EveryVectorUnitAndThreadCountMatchesThePlainLoopsBitForBit)
{
    for (VectorUnit unit : kUnits) {
        if (!vectorUnitAvailable(unit)) {
            std::printf("%s: not available here, not tested\n", vectorUnitName(unit));
        }
    }
    std::mt19937_64 generator(17);
    for (int K = 0; K <= 130; ++K) {
        const int T = 1 + static_cast<int>(generator() % 12);
        const double low = K % 2 ? -1.0 : 0.0;
        const Chain chain = randomChain(K, T, generator, low);
        const Values start = uniformValues(static_cast<std::size_t>(K) * K, generator, low);
        expectEveryUnitMatches(chain, start, std::to_string(K) + "x" + std::to_string(T));
    }
    for (int K : {1, 3, 8, 17, 33}) {
        for (int T : {16, 17, 33, 34, 65, 66, 130, 200}) {
            for (double low : {0.0, -1.0}) {
                const Chain chain = randomChain(K, T, generator, low);
                const Values start = uniformValues(static_cast<std::size_t>(K) * K, generator, low);
                expectEveryUnitMatches(chain, start, std::to_string(K) + "x" + std::to_string(T));
            }
        }
    }
}

// Zero sums (a zero column of alpha, or signed entries that cancel exactly),
// NaN and infinite entries, and subnormal products: every unit and thread
// count gives the plain loops' bits (a NaN may carry another payload).
TEST(PairtallyCore, EveryVectorUnitKeepsZeroSumsNaNAndSubnormalsAsThePlainLoops)
{
    std::mt19937_64 generator(23);
    for (int K : {2, 5, 9, 19}) {
        const int T = 40;
        Chain zeroColumn = randomChain(K, T, generator, 0.0);
        for (int i = 0; i < K; ++i) zeroColumn.alpha[i + 20 * K] = 0.0;
        Chain cancelling = randomChain(K, T, generator, 0.0);
        for (int i = 0; i < K * K; ++i) cancelling.A[i] = (i % 2 ? -1.0 : 1.0);
        for (double& value : cancelling.alpha) value = 1.0;
        for (double& value : cancelling.beta) value = 1.0;
        for (double& value : cancelling.obslik) value = 0.5;
        Chain special = randomChain(K, T, generator, -1.0);
        special.alpha[3] = std::nan("");
        special.beta[K * 7] = std::numeric_limits<double>::infinity();
        special.obslik[K * 30 + 1] = -std::numeric_limits<double>::infinity();
        Chain tiny = randomChain(K, T, generator, 0.0);
        for (double& value : tiny.alpha) value *= 1e-160;
        for (double& value : tiny.beta) value *= 1e-150;
        for (const Chain* chain : {&zeroColumn, &cancelling, &special, &tiny}) {
            const Values start = uniformValues(static_cast<std::size_t>(K) * K, generator, 0.0);
            expectEveryUnitMatches(*chain, start, "K = " + std::to_string(K));
        }
    }
}

// One thread takes the sums of each group of steps beside the quotients of
// the group above it: sizes where the sums outlast the quotients' row blocks,
// where they end together, and several groups with a partial last one.
TEST(PairtallyCore, SumsBesideTheQuotientsMatchThePlainLoopsBitForBit)
{
    std::mt19937_64 generator(29);
    for (int K : {31, 32, 64, 70, 96}) {
        for (int T : {2, 33, 97, 130}) {
            const double low = K % 2 ? -1.0 : 0.0;
            const Chain chain = randomChain(K, T, generator, low);
            const Values start = uniformValues(static_cast<std::size_t>(K) * K, generator, low);
            const Values plain = plainTally(chain, start);
            for (VectorUnit unit : kUnits) {
                if (!vectorUnitAvailable(unit)) continue;
                EXPECT_TRUE(sameResults(tallyOn(unit, 1, chain, start), plain))
                    << K << "x" << T << " on " << vectorUnitName(unit);
            }
        }
    }
}

// The unit a call runs on: never wider than allowed, always available, and
// at the sizes where the benchmark chose it, the narrower unit or the plain
// loops (every unit gives the same bits; the choice is speed alone).
TEST(PairtallyCore, UnitChoiceStaysWithinTheAllowedUnits)
{
    for (VectorUnit widest : kUnits) {
        if (!vectorUnitAvailable(widest)) continue;
        for (int K = 0; K <= 70; ++K) {
            const VectorUnit unit = tallyUnitFor(widest, K);
            EXPECT_LE(unit, widest) << K;
            EXPECT_TRUE(vectorUnitAvailable(unit)) << K;
        }
        EXPECT_EQ(tallyUnitFor(widest, 3), VectorUnit::plain);
    }
    if (vectorUnitAvailable(VectorUnit::avx512)) {
        // Two lanes for 2 states, four for 4 to 7, eight for 8 to 11, four
        // again for 12 (one register and four rows left on eight lanes).
        EXPECT_EQ(tallyUnitFor(VectorUnit::avx512, 2), VectorUnit::sse2);
        EXPECT_EQ(tallyUnitFor(VectorUnit::avx512, 5), VectorUnit::avx2);
        EXPECT_EQ(tallyUnitFor(VectorUnit::avx512, 8), VectorUnit::avx512);
        EXPECT_EQ(tallyUnitFor(VectorUnit::avx512, 12), VectorUnit::avx2);
        EXPECT_EQ(tallyUnitFor(VectorUnit::avx512, 64), VectorUnit::avx512);
    }
}
