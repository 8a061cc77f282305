// The forward-backward core, run without a host, against enumeration of every
// state path and on the chains whose answers are known exactly.

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "forward_backward.h"
#include "kernels.h"

namespace
{

using Vector = std::vector<double>;

struct Smoothed {
    Vector gamma, alpha, beta, xi;
    double logLikelihood = 0;
    const char* failure = nullptr;
};

Smoothed smooth(const Vector& prior, const Vector& transmat, const Vector& obslik, int K, int T)
{
    Smoothed s;
    const std::size_t sequence = static_cast<std::size_t>(K) * T;
    s.gamma.assign(sequence, -1);
    s.alpha.assign(sequence, -1);
    s.beta.assign(sequence, -1);
    s.xi.assign(sequence * K, -1);
    s.logLikelihood =
        forwardBackwardInPlace(s.gamma.data(), s.alpha.data(), s.beta.data(), s.xi.data(),
                               prior.data(), transmat.data(), obslik.data(), K, T, &s.failure);
    return s;
}

// Marginals by summing the weight of every one of the K^T state paths.
Smoothed enumerate(const Vector& prior, const Vector& A, const Vector& obslik, int K, int T)
{
    Smoothed s;
    s.gamma.assign(K * T, 0);
    s.xi.assign(K * K * T, 0);
    std::vector<int> path(T, 0);
    double total = 0;
    for (;;) {
        double weight = prior[path[0]] * obslik[path[0]];
        for (int t = 1; t < T; ++t)
            weight *= A[path[t - 1] + K * path[t]] * obslik[path[t] + K * t];
        total += weight;
        for (int t = 0; t < T; ++t) s.gamma[path[t] + K * t] += weight;
        for (int t = 0; t + 1 < T; ++t) s.xi[path[t] + K * path[t + 1] + K * K * t] += weight;
        int t = 0;
        while (t < T && ++path[t] == K) path[t++] = 0;
        if (t == T) break;
    }
    for (double& g : s.gamma) g /= total;
    for (double& x : s.xi) x /= total;
    s.logLikelihood = std::log(total);
    return s;
}

Vector randomVector(std::mt19937_64& rng, std::size_t n)
{
    std::uniform_real_distribution<double> value(0.0, 1.0);
    Vector v(n);
    for (double& x : v) x = value(rng);
    return v;
}

void expectNear(const Vector& actual, const Vector& expected, double tolerance)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance) << i;
}

} // namespace

TEST(ChainsweepCore, MatchesEnumerationOfAllPaths)
{
    std::mt19937_64 rng(5);
    for (int K : {1, 2, 3, 4}) {
        for (int T : {1, 2, 3, 5}) {
            const Vector prior = randomVector(rng, K);
            const Vector A = randomVector(rng, K * K);
            const Vector obslik = randomVector(rng, K * T);
            const Smoothed s = smooth(prior, A, obslik, K, T);
            const Smoothed e = enumerate(prior, A, obslik, K, T);
            ASSERT_EQ(s.failure, nullptr);
            expectNear(s.gamma, e.gamma, 1e-13);
            expectNear(s.xi, e.xi, 1e-13);
            EXPECT_NEAR(s.logLikelihood, e.logLikelihood, 1e-12);
            // The forward message of the last step is the smoothed marginal there,
            // and the last backward message is all ones, not normalised.
            for (int i = 0; i < K; ++i) {
                EXPECT_EQ(s.gamma[i + K * (T - 1)], s.alpha[i + K * (T - 1)]);
                EXPECT_EQ(s.beta[i + K * (T - 1)], 1.0);
            }
        }
    }
}

TEST(ChainsweepCore, TwoStepsUnderTheIdentity)
{
    const Smoothed s = smooth({0.5, 0.5}, {1, 0, 0, 1}, {1, 1, 1, 1}, 2, 2);
    EXPECT_EQ(s.failure, nullptr);
    EXPECT_EQ(s.alpha, Vector(4, 0.5));
    EXPECT_EQ(s.gamma, Vector(4, 0.5));
    EXPECT_EQ(s.beta, (Vector{0.5, 0.5, 1, 1}));
    EXPECT_EQ(s.xi, (Vector{0.5, 0, 0, 0.5, 0, 0, 0, 0}));
    EXPECT_EQ(s.logLikelihood, 0.0);
}

TEST(ChainsweepCore, ImpossibleObservationGivesMinusInfinityWithoutFailure)
{
    // Step 1 is impossible in every state: its scale factor is 0.
    const Smoothed s = smooth({0.5, 0.5}, {0.9, 0.1, 0.1, 0.9}, {1, 1, 0, 0, 1, 1}, 2, 3);
    EXPECT_EQ(s.failure, nullptr);
    EXPECT_EQ(s.logLikelihood, -INFINITY);
    for (int e = 2; e < 6; ++e) EXPECT_EQ(s.alpha[e], 0.0);
}

TEST(ChainsweepCore, NoStatesGivesMinusInfinity)
{
    const Smoothed s = smooth({}, {}, {}, 0, 4);
    EXPECT_EQ(s.failure, nullptr);
    EXPECT_EQ(s.logLikelihood, -INFINITY);
}

TEST(ChainsweepCore, NegativeTransitionFailsInThePairwiseTable)
{
    // Every forward and backward vector stays non-negative (the negative
    // weight is outweighed), but the pairwise table holds it as it is.
    const Smoothed s = smooth({1, 1}, {1, 1, -0.5, 1}, {1, 1, 1, 1}, 2, 2);
    EXPECT_STREQ(s.failure, kNegativeValueMessage);
}
