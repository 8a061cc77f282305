// Every vector unit's kernels and the whole core on every unit and thread
// count, bit for bit against the plain loops and against the step-by-step
// smoother composed of the plain kernels.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "forward_backward.h"
#include "kernels.h"
#include "natural_log.h"
#include "vector_kernels.h"

namespace
{

using Vector = std::vector<double>;

// Bit for bit (-0.0 differs from 0.0), except that any two NaNs count as
// equal: when both operands of an addition or product are NaN, which of them
// comes out depends on the operand order the compiler picks for the
// instruction (it may swap them for the plain loop as well), so a NaN's sign
// and payload are not defined by the source.
bool sameBits(const Vector& a, const Vector& b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::isnan(a[i]) && std::isnan(b[i])) continue;
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return false;
    }
    return true;
}

std::vector<VectorUnit> availableUnits()
{
    std::vector<VectorUnit> units;
    for (VectorUnit unit :
         {VectorUnit::plain, VectorUnit::sse2, VectorUnit::avx2, VectorUnit::avx512}) {
        // HMM_PLUGINS_VECTOR_UNIT lowers the set, e.g. under valgrind.
        if (vectorUnitAvailable(unit) && unit <= widestVectorUnit()) units.push_back(unit);
    }
    return units;
}

// Values of every kind: ordinary, tiny, huge, subnormal, signed zeros, and
// optionally negatives, infinities and NaN.
Vector edgyValues(std::mt19937_64& rng, std::size_t n, bool wild)
{
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double special[] = {0.0,    -0.0,     std::numeric_limits<double>::denorm_min(),
                              1e-300, 1e300,    -1e-300,
                              -1.0,   INFINITY, -INFINITY,
                              NAN};
    Vector v(n);
    for (double& x : v) {
        x = u(rng);
        const double pick = u(rng);
        if (pick < 0.1) {
            x = special[static_cast<int>(u(rng) * (wild ? 10 : 4))];
        } else if (pick < 0.2) {
            x *= 1e-160;
        }
    }
    return v;
}

struct Outcome {
    Vector gamma, alpha, beta, xi;
    double logLikelihood = 0;
    const char* failure = nullptr;
};

// The smoother as it was written step by step: forward pass, then from step
// T-2 down beta, the full pairwise table and gamma, each normalised.
Outcome stepByStep(const Vector& prior, const Vector& A, const Vector& obslik, std::uint32_t K,
                   std::uint32_t T)
{
    Outcome r;
    r.gamma.assign(K * T, 0);
    r.alpha.assign(K * T, 0);
    r.beta.assign(K * T, 0);
    r.xi.assign(std::size_t(K) * K * T, 0);
    Vector At(K * K), v(K), w(K), O(K * K);
    const char** f = &r.failure;
    transposeSquareInPlace(At.data(), A.data(), K);
    multiplyInPlace(r.alpha.data(), prior.data(), obslik.data(), K);
    r.logLikelihood = std::log(normalizeInPlace(r.alpha.data(), K, f));
    for (std::uint32_t t = 1; t < T && !*f; ++t) {
        multiplyMatrixInPlace(v.data(), At.data(), &r.alpha[(t - 1) * K], K);
        multiplyInPlace(&r.alpha[t * K], v.data(), &obslik[t * K], K);
        r.logLikelihood = r.logLikelihood + std::log(normalizeInPlace(&r.alpha[t * K], K, f));
    }
    if (*f) return r;
    for (std::uint32_t i = 0; i < K; ++i) {
        r.beta[(T - 1) * K + i] = 1;
        r.gamma[(T - 1) * K + i] = r.alpha[(T - 1) * K + i];
    }
    for (std::uint32_t t = T - 1; t-- > 0;) {
        multiplyInPlace(w.data(), &r.beta[(t + 1) * K], &obslik[(t + 1) * K], K);
        multiplyMatrixInPlace(v.data(), A.data(), w.data(), K);
        normalizeInPlace(v.data(), K, f);
        if (*f) return r;
        std::copy(v.begin(), v.end(), r.beta.begin() + t * K);
        outerProductUVInPlace(O.data(), &r.alpha[t * K], w.data(), K);
        double* slice = &r.xi[std::size_t(t) * K * K];
        componentVectorMultiplyInPlace(slice, A.data(), O.data(), K * K);
        normalizeInPlace(slice, K * K, f);
        if (*f) return r;
        multiplyInPlace(v.data(), &r.alpha[t * K], &r.beta[t * K], K);
        normalizeInPlace(v.data(), K, f);
        if (*f) return r;
        std::copy(v.begin(), v.end(), r.gamma.begin() + t * K);
    }
    return r;
}

Outcome core(const Vector& prior, const Vector& A, const Vector& obslik, std::uint32_t K,
             std::uint32_t T, bool pairwise, VectorUnit unit, int threads)
{
    Outcome r;
    r.gamma.assign(K * T, -7);
    r.alpha.assign(K * T, -7);
    r.beta.assign(K * T, -7);
    r.xi.assign(pairwise ? std::size_t(K) * K * T : 0, -7);
    r.logLikelihood = forwardBackwardInPlace(
        r.gamma.data(), r.alpha.data(), r.beta.data(), pairwise ? r.xi.data() : nullptr,
        prior.data(), A.data(), obslik.data(), K, T, unit, threads, &r.failure);
    return r;
}

void expectSameRun(const Outcome& actual, const Outcome& expected, bool pairwise)
{
    ASSERT_EQ(actual.failure == nullptr, expected.failure == nullptr);
    if (actual.failure) return;
    EXPECT_TRUE(sameBits(actual.gamma, expected.gamma));
    EXPECT_TRUE(sameBits(actual.alpha, expected.alpha));
    EXPECT_TRUE(sameBits(actual.beta, expected.beta));
    if (pairwise) {
        EXPECT_TRUE(sameBits(actual.xi, expected.xi));
    }
    EXPECT_TRUE(sameBits({actual.logLikelihood}, {expected.logLikelihood}));
}

} // namespace

TEST(ChainsweepUnits, KernelsMatchThePlainLoopsBitForBit)
{
    std::mt19937_64 rng(3);
    for (VectorUnit unit : availableUnits()) {
        const ChainKernels& k = chainKernels(unit);
        for (std::uint32_t n : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 15u, 17u, 31u, 33u, 47u, 70u}) {
            for (bool wild : {false, true}) {
                const Vector M = edgyValues(rng, n * n, wild);
                const Vector v = edgyValues(rng, n, wild);
                const Vector alpha = edgyValues(rng, n * kStepsPerBlock, wild);
                const Vector weight = edgyValues(rng, n * kStepsPerBlock, wild);
                Vector plain(n), fast(n);
                multiplyMatrixInPlace(plain.data(), M.data(), v.data(), n);
                k.multiplyMatrix(fast.data(), M.data(), v.data(), n);
                EXPECT_TRUE(sameBits(fast, plain)) << vectorUnitName(unit) << " n=" << n;

                Vector plainSums(kStepsPerBlock), fastSums(kStepsPerBlock);
                const bool plainNegative = sumPairwiseBlockPlain(
                    plainSums.data(), M.data(), alpha.data(), weight.data(), n, kStepsPerBlock);
                const bool fastNegative =
                    k.sumPairwiseBlock(fastSums.data(), M.data(), alpha.data(), weight.data(), n);
                EXPECT_EQ(fastNegative, plainNegative) << vectorUnitName(unit) << " n=" << n;
                EXPECT_TRUE(sameBits(fastSums, plainSums)) << vectorUnitName(unit) << " n=" << n;

                for (double sum : {plainSums[0], 0.0, 3.5, -1.0, double(NAN)}) {
                    Vector plainSlice(n * n), fastSlice(n * n);
                    writePairwiseSlicePlain(plainSlice.data(), M.data(), alpha.data(),
                                            weight.data(), sum, n);
                    k.writePairwiseSlice(fastSlice.data(), M.data(), alpha.data(), weight.data(),
                                         sum, n);
                    EXPECT_TRUE(sameBits(fastSlice, plainSlice)) << vectorUnitName(unit);
                }
                EXPECT_EQ(k.pairwiseHasNegative(M.data(), v.data(), weight.data(), n),
                          pairwiseHasNegativePlain(M.data(), v.data(), weight.data(), n));
            }
        }
    }
}

TEST(ChainsweepUnits, MatrixVectorRowBlocksMatchThePlainLoop)
{
    // Sizes that take every row block of the widest unit (16, 4, 2 and 1
    // registers) and the rows left over, odd and even column counts.
    std::mt19937_64 rng(17);
    for (VectorUnit unit : availableUnits()) {
        for (std::uint32_t n : {63u, 64u, 97u, 127u, 128u, 129u, 136u, 200u, 257u}) {
            for (bool wild : {false, true}) {
                const Vector M = edgyValues(rng, std::size_t(n) * n, wild);
                const Vector v = edgyValues(rng, n, wild);
                Vector plain(n), fast(n);
                multiplyMatrixInPlace(plain.data(), M.data(), v.data(), n);
                chainKernels(unit).multiplyMatrix(fast.data(), M.data(), v.data(), n);
                EXPECT_TRUE(sameBits(fast, plain)) << vectorUnitName(unit) << " n=" << n;
            }
        }
    }
}

TEST(ChainsweepUnits, LogarithmsSideBySideMatchTheScalarLogarithm)
{
    // Ordinary arguments of every size (about one in ten fails the quick
    // rounding test and takes the accurate series), arguments next to 1 and
    // to the reduction's boundaries, and blocks with special arguments.
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double special[] = {0.0,
                              -0.0,
                              -1.0,
                              INFINITY,
                              -INFINITY,
                              NAN,
                              std::numeric_limits<double>::denorm_min(),
                              std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::max(),
                              1.0,
                              1.5,
                              std::nextafter(1.5, 0.0),
                              0.75,
                              std::nextafter(1.0, 0.0),
                              std::nextafter(1.0, 2.0)};
    for (VectorUnit unit : availableUnits()) {
        for (std::uint32_t n : {0u, 1u, 7u, 8u, 9u, 63u, 64u, 65u, 130u, 1000u}) {
            for (int kind = 0; kind < 3; ++kind) {
                Vector x(n);
                for (double& v : x) {
                    v = std::ldexp(0.5 + u(rng), static_cast<int>(u(rng) * 80) - 40);
                    if (kind == 1) v = 1.0 + (u(rng) - 0.5) * std::ldexp(1.0, -int(u(rng) * 50));
                    if (kind == 2 && u(rng) < 0.05)
                        v = special[static_cast<int>(u(rng) * (sizeof special / sizeof(double)))];
                }
                Vector expected(n), actual(n, -7.0);
                for (std::uint32_t i = 0; i < n; ++i) expected[i] = naturalLog(x[i]);
                chainKernels(unit).naturalLogs(actual.data(), x.data(), n);
                EXPECT_TRUE(sameBits(actual, expected))
                    << vectorUnitName(unit) << " n=" << n << " kind=" << kind;
            }
        }
    }
}

TEST(ChainsweepUnits, StepKernelsMatchThePlainSteps)
{
    std::mt19937_64 rng(29);
    for (VectorUnit unit : availableUnits()) {
        const ChainKernels& k = chainKernels(unit);
        for (std::uint32_t n : {1u, 2u, 3u, 7u, 8u, 9u, 16u, 31u, 33u, 70u, 129u}) {
            for (int trial = 0; trial < 4; ++trial) {
                // Trials 2 and 3 hold negatives, NaN and infinities, so the
                // negative test and the zero or NaN sums are taken too.
                const bool wild = trial >= 2;
                const Vector M = edgyValues(rng, std::size_t(n) * n, wild);
                const Vector a = edgyValues(rng, n, wild);
                const Vector b = edgyValues(rng, n, wild);
                SCOPED_TRACE(::testing::Message() << vectorUnitName(unit) << " n=" << n);

                Vector plain(n), fast(n), plainScratch(n), fastScratch(n);
                bool plainNegative = false, fastNegative = false;
                const double plainScale =
                    forwardStepPlain(plain.data(), M.data(), a.data(), b.data(), n, &plainNegative);
                const double fastScale =
                    k.forwardStep(fast.data(), M.data(), a.data(), b.data(), n, &fastNegative);
                ASSERT_EQ(fastNegative, plainNegative);
                if (!plainNegative) {
                    EXPECT_TRUE(sameBits(fast, plain));
                    EXPECT_TRUE(sameBits({fastScale}, {plainScale}));
                }

                plainNegative = fastNegative = false;
                backwardStepPlain(plain.data(), plainScratch.data(), M.data(), a.data(), b.data(),
                                  n, &plainNegative);
                k.backwardStep(fast.data(), fastScratch.data(), M.data(), a.data(), b.data(), n,
                               &fastNegative);
                ASSERT_EQ(fastNegative, plainNegative);
                EXPECT_TRUE(sameBits(fastScratch, plainScratch));
                if (!plainNegative) {
                    EXPECT_TRUE(sameBits(fast, plain));
                }

                plainNegative = fastNegative = false;
                smoothColumnPlain(plain.data(), a.data(), b.data(), n, &plainNegative);
                k.smoothColumn(fast.data(), a.data(), b.data(), n, &fastNegative);
                ASSERT_EQ(fastNegative, plainNegative);
                if (!plainNegative) {
                    EXPECT_TRUE(sameBits(fast, plain));
                }

                // A negative element leaves the vector as it was.
                Vector plainVector = a, fastVector = a;
                plainNegative = fastNegative = false;
                normalizePlain(plainVector.data(), n, &plainNegative);
                k.normalize(fastVector.data(), n, &fastNegative);
                ASSERT_EQ(fastNegative, plainNegative);
                EXPECT_TRUE(sameBits(fastVector, plainVector));
                EXPECT_EQ(k.anyBelowZero(a.data(), n), anyBelowZeroPlain(a.data(), n));
            }
        }
    }
}

TEST(ChainsweepUnits, PairwiseNegativeTestTellsUnderflowFromNegative)
{
    // -1e-200 * (1e-200 * 1) underflows to -0.0: not below zero. A negative
    // product anywhere in the slice (here its last element) is found.
    const Vector A{1, 1, 1, -1e-200};
    const Vector alpha{0.5, 1e-200};
    const Vector weight{1, 1};
    for (VectorUnit unit : availableUnits()) {
        const ChainKernels& k = chainKernels(unit);
        EXPECT_FALSE(k.pairwiseHasNegative(A.data(), alpha.data(), weight.data(), 2));
        const Vector big{0.5, 0.5};
        EXPECT_TRUE(k.pairwiseHasNegative(A.data(), big.data(), weight.data(), 2));
        const Vector withNaN{NAN, 1e-200};
        EXPECT_FALSE(k.pairwiseHasNegative(A.data(), withNaN.data(), weight.data(), 2));
    }
}

TEST(ChainsweepUnits, WholeCoreMatchesTheStepByStepSmootherOnEveryUnitAndThreadCount)
{
    std::mt19937_64 rng(9);
    int failures = 0;
    for (int trial = 0; trial < 60; ++trial) {
        const std::uint32_t K = 1 + rng() % 37;
        const std::uint32_t T = 1 + rng() % 70;
        // Mostly clean chains; some with negative or wild entries, so that
        // every check of the smoother gets to fail somewhere.
        const bool wild = trial % 4 == 3;
        const Vector prior = edgyValues(rng, K, wild);
        const Vector A = edgyValues(rng, K * K, wild && trial % 8 == 3);
        const Vector obslik = edgyValues(rng, K * T, wild && trial % 8 == 7);
        const Outcome expected = stepByStep(prior, A, obslik, K, T);
        failures += expected.failure != nullptr;
        for (VectorUnit unit : availableUnits()) {
            for (int threads : {1, 2, 3}) {
                for (bool pairwise : {false, true}) {
                    SCOPED_TRACE(::testing::Message()
                                 << vectorUnitName(unit) << " threads=" << threads << " K=" << K
                                 << " T=" << T << " pairwise=" << pairwise);
                    expectSameRun(core(prior, A, obslik, K, T, pairwise, unit, threads), expected,
                                  pairwise);
                }
            }
        }
    }
    EXPECT_GT(failures, 0);
}

TEST(ChainsweepUnits, LargeEnoughForThreadsStillTheSameBits)
{
    // Big enough that the passes and the steps really run on several threads.
    std::mt19937_64 rng(2);
    const std::uint32_t K = 61, T = 700;
    const Vector prior = edgyValues(rng, K, false);
    const Vector A = edgyValues(rng, K * K, false);
    const Vector obslik = edgyValues(rng, K * T, false);
    const Outcome expected = stepByStep(prior, A, obslik, K, T);
    for (VectorUnit unit : availableUnits()) {
        for (int threads : {1, 2, 3}) {
            expectSameRun(core(prior, A, obslik, K, T, true, unit, threads), expected, true);
            expectSameRun(core(prior, A, obslik, K, T, false, unit, threads), expected, false);
        }
    }
}

TEST(ChainsweepUnits, NegativePairwiseProductFailsWithoutTheTableButUnderflowDoesNot)
{
    // Every forward and backward vector stays non-negative; only the product
    // A(0,1) * alpha(0) * w(1) is negative.
    const Vector prior{1, 1}, obslik{1, 1, 1, 1};
    for (VectorUnit unit : availableUnits()) {
        for (bool pairwise : {false, true}) {
            const Outcome negative = core(prior, {1, 1, -0.5, 1}, obslik, 2, 2, pairwise, unit, 1);
            EXPECT_STREQ(negative.failure, kNegativeValueMessage);
            // A(0,1) = -1e-300 against tiny weights: the product underflows to
            // -0.0, which is no error, and the table holds -0.0 there.
            const Vector tinyPrior{1e-10, 1}, A{1, 1, -1e-300, 1}, tinyLast{1, 1, 1, 1e-20};
            const Outcome underflow = core(tinyPrior, A, tinyLast, 2, 2, pairwise, unit, 1);
            EXPECT_EQ(underflow.failure, nullptr);
            const Outcome expected = stepByStep(tinyPrior, A, tinyLast, 2, 2);
            if (pairwise) {
                EXPECT_TRUE(std::signbit(underflow.xi[2]) && underflow.xi[2] == 0);
            }
            ASSERT_EQ(expected.failure, nullptr);
            expectSameRun(underflow, expected, pairwise);
        }
    }
}

TEST(ChainsweepUnits, NegativeObservationReachingOnlyAPairwiseProductFails)
{
    // obslik(1, 2) = -1e300 meets a forward sum that underflows to zero
    // (A(0,1) * 0.5 with A(0,1) the least subnormal), so alpha and beta hold
    // no negative value; only the product A(0,1) * (alpha_1(0) * w(1)) of
    // slice 1 is below zero.
    const double tiny = std::numeric_limits<double>::denorm_min();
    const Vector prior{1, 1, 1};
    const Vector A{1, 1, 1, tiny, 0, 0, 1, 1, 1};
    const Vector obslik{1, 1, 1, 1, 1, 1, 1, -1e300, 1};
    const Outcome expected = stepByStep(prior, A, obslik, 3, 3);
    ASSERT_STREQ(expected.failure, kNegativeValueMessage);
    for (VectorUnit unit : availableUnits()) {
        for (bool pairwise : {false, true}) {
            EXPECT_STREQ(core(prior, A, obslik, 3, 3, pairwise, unit, 1).failure,
                         kNegativeValueMessage)
                << vectorUnitName(unit) << " pairwise=" << pairwise;
        }
    }
    // The same observation without the subnormal transition: every product
    // of slice 1 is a zero or positive, and the call succeeds.
    const Vector clean{1, 1, 1, 0, 0, 0, 1, 1, 1};
    const Outcome fine = stepByStep(prior, clean, obslik, 3, 3);
    ASSERT_EQ(fine.failure, nullptr);
    for (VectorUnit unit : availableUnits()) {
        expectSameRun(core(prior, clean, obslik, 3, 3, false, unit, 1), fine, false);
    }
}

TEST(ChainsweepUnits, PassesOnTwoThreadsStillTheSameBits)
{
    // Enough states that the forward and backward passes run on a thread
    // each (fewer interleave them on one thread, as the test above does).
    std::mt19937_64 rng(31);
    const std::uint32_t K = 67, T = 300;
    const Vector prior = edgyValues(rng, K, false);
    const Vector A = edgyValues(rng, K * K, false);
    const Vector obslik = edgyValues(rng, K * T, false);
    const Outcome expected = stepByStep(prior, A, obslik, K, T);
    ASSERT_EQ(expected.failure, nullptr);
    for (VectorUnit unit : availableUnits()) {
        for (int threads : {1, 2, 3}) {
            expectSameRun(core(prior, A, obslik, K, T, false, unit, threads), expected, false);
        }
    }
}

TEST(ChainsweepUnits, UnitChoiceStaysWithinTheAllowedUnits)
{
    for (VectorUnit widest : availableUnits()) {
        for (std::int32_t K = 0; K <= 70; ++K) {
            for (bool pairwise : {false, true}) {
                const VectorUnit unit = smootherUnitFor(widest, K, pairwise);
                EXPECT_LE(unit, widest) << K;
                EXPECT_TRUE(vectorUnitAvailable(unit)) << K;
                // Never the plain loops unless asked: every unit beats them.
                EXPECT_EQ(unit == VectorUnit::plain, widest == VectorUnit::plain) << K;
            }
        }
    }
    if (vectorUnitAvailable(VectorUnit::avx512) && widestVectorUnit() == VectorUnit::avx512) {
        EXPECT_EQ(smootherUnitFor(VectorUnit::avx512, 4, false), VectorUnit::avx2);
        EXPECT_EQ(smootherUnitFor(VectorUnit::avx512, 8, false), VectorUnit::avx512);
        EXPECT_EQ(smootherUnitFor(VectorUnit::avx512, 20, false), VectorUnit::avx2);
        EXPECT_EQ(smootherUnitFor(VectorUnit::avx512, 20, true), VectorUnit::avx512);
        EXPECT_EQ(smootherUnitFor(VectorUnit::avx512, 36, false), VectorUnit::avx512);
    }
}
