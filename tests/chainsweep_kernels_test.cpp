// The vector and matrix kernels of the smoother.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "kernels.h"

namespace
{

using Vector = std::vector<double>;

// Bit-for-bit equality: tells -0.0 from 0.0 and compares NaNs by pattern.
::testing::AssertionResult sameBits(const Vector& actual, const Vector& expected)
{
    if (actual.size() != expected.size()) return ::testing::AssertionFailure() << "sizes differ";
    if (std::memcmp(actual.data(), expected.data(), actual.size() * sizeof(double)) != 0) {
        return ::testing::AssertionFailure() << "bits differ";
    }
    return ::testing::AssertionSuccess();
}

Vector randomVector(std::mt19937_64& rng, std::size_t n)
{
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    Vector v(n);
    for (double& x : v) x = value(rng) * std::pow(10.0, value(rng) * 5);
    return v;
}

} // namespace

TEST(ChainsweepKernels, CountZeroTouchesNothing)
{
    const Vector sentinel{42.0};
    Vector out = sentinel;
    const Vector in{1.0};
    multiplyInPlace(out.data(), in.data(), in.data(), 0);
    componentVectorMultiplyInPlace(out.data(), in.data(), in.data(), 0);
    multiplyMatrixInPlace(out.data(), in.data(), in.data(), 0);
    transposeSquareInPlace(out.data(), in.data(), 0);
    outerProductUVInPlace(out.data(), in.data(), in.data(), 0);
    const char* failure = nullptr;
    EXPECT_EQ(normalizeInPlace(out.data(), 0, &failure), 0.0);
    EXPECT_EQ(out, sentinel);
    EXPECT_EQ(failure, nullptr);
}

TEST(ChainsweepKernels, SmallMatrixProducts)
{
    const Vector M{1, 3, 2, 4}; // [1 2; 3 4], column-major
    Vector out(4);
    multiplyMatrixInPlace(out.data(), M.data(), Vector{1, 1}.data(), 2);
    EXPECT_EQ(Vector(out.begin(), out.begin() + 2), (Vector{3, 7}));
    transposeSquareInPlace(out.data(), M.data(), 2);
    EXPECT_EQ(out, (Vector{1, 2, 3, 4}));
    outerProductUVInPlace(out.data(), Vector{1, 2}.data(), Vector{3, 4}.data(), 2);
    EXPECT_EQ(out, (Vector{3, 6, 4, 8}));
    multiplyInPlace(out.data(), M.data(), M.data(), 4);
    EXPECT_EQ(out, (Vector{1, 9, 4, 16}));
}

TEST(ChainsweepKernels, NormalizeDividesByThePositiveSum)
{
    const char* failure = nullptr;
    Vector v{1, 3};
    EXPECT_EQ(normalizeInPlace(v.data(), 2, &failure), 4.0);
    EXPECT_EQ(v, (Vector{0.25, 0.75}));

    Vector zeros{0, 0, 0};
    EXPECT_EQ(normalizeInPlace(zeros.data(), 3, &failure), 0.0);
    EXPECT_EQ(zeros, (Vector{0, 0, 0}));

    Vector negativeZero{-0.0, 1, 3};
    normalizeInPlace(negativeZero.data(), 3, &failure);
    EXPECT_TRUE(std::signbit(negativeZero[0]));
    EXPECT_EQ(negativeZero[2], 0.75);

    Vector withNaN{1, std::nan(""), 2};
    EXPECT_TRUE(std::isnan(normalizeInPlace(withNaN.data(), 3, &failure)));
    EXPECT_EQ(withNaN[0], 1.0);
    EXPECT_EQ(withNaN[2], 2.0);
    EXPECT_EQ(failure, nullptr);
}

TEST(ChainsweepKernels, NormalizeRefusesANegativeElementAndLeavesTheVector)
{
    const char* failure = nullptr;
    Vector v{2, -1, 5};
    normalizeInPlace(v.data(), 3, &failure);
    EXPECT_STREQ(failure, kNegativeValueMessage);
    EXPECT_EQ(v, (Vector{2, -1, 5}));
}

// The matrix kernels walk memory column by column; each result must still come
// out of the plain row-by-row loops bit for bit.
TEST(ChainsweepKernels, ColumnOrderLoopsMatchThePlainLoopsBitForBit)
{
    std::mt19937_64 rng(1);
    for (std::uint32_t n : {1u, 2u, 3u, 7u, 16u, 33u, 64u}) {
        const Vector M = randomVector(rng, n * n);
        const Vector u = randomVector(rng, n);
        const Vector v = randomVector(rng, n);
        Vector plainProduct(n), plainOuter(n * n);
        for (std::uint32_t i = 0; i < n; ++i) {
            plainProduct[i] = 0.0;
            for (std::uint32_t j = 0; j < n; ++j) {
                plainProduct[i] = plainProduct[i] + M[i + j * n] * v[j];
                plainOuter[i + j * n] = u[i] * v[j];
            }
        }
        Vector product(n), outer(n * n);
        multiplyMatrixInPlace(product.data(), M.data(), v.data(), n);
        outerProductUVInPlace(outer.data(), u.data(), v.data(), n);
        EXPECT_TRUE(sameBits(product, plainProduct)) << "n = " << n;
        EXPECT_TRUE(sameBits(outer, plainOuter)) << "n = " << n;
    }
}
