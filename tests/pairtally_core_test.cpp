// The transition-count core against the plain three-loop form, bit for bit.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
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
