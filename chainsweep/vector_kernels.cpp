// The per-unit versions of the kernels in vector_kernels.h, compiled once per
// vector unit by add_vector_unit_sources. Multiplication and addition stay
// separate (no fused multiply-add), so each lane rounds exactly like the
// plain loop it stands for.
#include "vector_lanes.h"

#include <cstdint>
#include <cstring>

#include <immintrin.h>

#include "vector_kernels.h"

namespace VECTOR_UNIT_NAMESPACE
{
namespace
{

constexpr std::uint32_t L = kDoubleLanes;

inline DoubleLanes load(const double* p)
{
    DoubleLanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(double* p, DoubleLanes v) { std::memcpy(p, &v, sizeof v); }

// Every lane x (adding to a zero vector would turn -0.0 into +0.0).
inline DoubleLanes broadcast(double x)
{
    DoubleLanes v;
    for (std::uint32_t l = 0; l < L; ++l) v[l] = x;
    return v;
}

// Whether some lane is below zero (NaN and -0.0 are not), as one mask of the
// comparison rather than a test per lane.
inline bool anyBelowZero(DoubleLanes v)
{
#if defined(VECTOR_UNIT_BUILD_AVX512)
    return _mm512_cmp_pd_mask(__m512d(v), _mm512_setzero_pd(), _CMP_LT_OQ) != 0;
#elif defined(VECTOR_UNIT_BUILD_AVX2)
    return _mm256_movemask_pd(_mm256_cmp_pd(__m256d(v), _mm256_setzero_pd(), _CMP_LT_OQ)) != 0;
#else
    return _mm_movemask_pd(_mm_cmplt_pd(__m128d(v), _mm_setzero_pd())) != 0;
#endif
}

// Whether some element of a[0 .. n) is below zero (NaN and -0.0 are not).
inline bool anyElementBelowZero(const double* a, std::uint32_t n)
{
    DoubleLanes lowest{};
    std::uint32_t i = 0;
    for (; i + L <= n; i += L) {
        const DoubleLanes v = load(a + i);
        lowest = v < lowest ? v : lowest;
    }
    bool below = anyBelowZero(lowest);
    for (; i < n; ++i) below = below || a[i] < 0;
    return below;
}

// out[i] = a[i] * b[i]; out may be a or b.
inline void multiplyElements(double* out, const double* a, const double* b, std::uint32_t n)
{
    std::uint32_t i = 0;
    for (; i + L <= n; i += L) store(out + i, load(a + i) * load(b + i));
    for (; i < n; ++i) out[i] = a[i] * b[i];
}

// The plain normalisation: an element below zero leaves A as it is; else the
// sum from 0.0 in ascending order, and A divided by it when it is positive.
inline double normalizeElements(double* A, std::uint32_t n, bool* negative)
{
    if (anyElementBelowZero(A, n)) {
        *negative = true;
        return 0.0;
    }
    double sum = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) sum = sum + A[i];
    if (sum > 0) {
        const DoubleLanes divisor = broadcast(sum);
        std::uint32_t i = 0;
        for (; i + L <= n; i += L) store(A + i, load(A + i) / divisor);
        for (; i < n; ++i) A[i] = A[i] / sum;
    }
    return sum;
}

// Rows [row, row + R*L) of out = M * v, R registers of accumulators. Two
// columns a round: each accumulator still adds column j before column j + 1.
// The loops over r are unrolled, so the accumulators stay in registers.
template <std::uint32_t R>
inline void multiplyRows(double* out, const double* M, const double* v, std::uint32_t n,
                         std::uint32_t row)
{
    DoubleLanes acc[R];
#pragma GCC unroll 16
    for (std::uint32_t r = 0; r < R; ++r) acc[r] = DoubleLanes{};
    const double* column = M + row;
    std::uint32_t j = 0;
    for (; j + 2 <= n; j += 2, column += 2 * static_cast<std::uint64_t>(n)) {
        const DoubleLanes first = broadcast(v[j]);
        const DoubleLanes second = broadcast(v[j + 1]);
#pragma GCC unroll 16
        for (std::uint32_t r = 0; r < R; ++r) {
            acc[r] = acc[r] + load(column + r * L) * first;
            acc[r] = acc[r] + load(column + n + r * L) * second;
        }
    }
    if (j < n) {
        const DoubleLanes last = broadcast(v[j]);
#pragma GCC unroll 16
        for (std::uint32_t r = 0; r < R; ++r) acc[r] = acc[r] + load(column + r * L) * last;
    }
#pragma GCC unroll 16
    for (std::uint32_t r = 0; r < R; ++r) store(out + row + r * L, acc[r]);
}

// Accumulator registers of the widest row block: AVX-512 has 32 vector
// registers, the narrower units 16.
constexpr std::uint32_t kRowRegisters = L == 8 ? 16 : 8;

// The sums of the block; every lane is one step, kChains registers of them.
template <bool kCheck>
bool sumBlock(double* sums, const double* A, const double* alpha, const double* weight,
              std::uint32_t n)
{
    constexpr std::uint32_t kChains = kStepsPerBlock / L;
    DoubleLanes acc[kChains];
    DoubleLanes lowest[kChains];
    for (std::uint32_t c = 0; c < kChains; ++c) acc[c] = lowest[c] = DoubleLanes{};
    for (std::uint32_t j = 0; j < n; ++j) {
        DoubleLanes w[kChains];
        for (std::uint32_t c = 0; c < kChains; ++c)
            w[c] = load(weight + j * kStepsPerBlock + c * L);
        const double* column = A + static_cast<std::uint64_t>(j) * n;
        for (std::uint32_t i = 0; i < n; ++i) {
            const DoubleLanes a = broadcast(column[i]);
            const double* alphaRow = alpha + i * kStepsPerBlock;
            for (std::uint32_t c = 0; c < kChains; ++c) {
                const DoubleLanes product = a * (load(alphaRow + c * L) * w[c]);
                acc[c] = acc[c] + product;
                if (kCheck) lowest[c] = product < lowest[c] ? product : lowest[c];
            }
        }
    }
    bool negative = false;
    for (std::uint32_t c = 0; c < kChains; ++c) {
        store(sums + c * L, acc[c]);
        if (kCheck) negative = negative || anyBelowZero(lowest[c]);
    }
    return negative;
}

} // namespace

void multiplyMatrix(double* out, const double* M, const double* v, std::uint32_t n)
{
    std::uint32_t row = 0;
    for (; row + kRowRegisters * L <= n; row += kRowRegisters * L)
        multiplyRows<kRowRegisters>(out, M, v, n, row);
    for (; row + 4 * L <= n; row += 4 * L) multiplyRows<4>(out, M, v, n, row);
    if (row + 2 * L <= n) {
        multiplyRows<2>(out, M, v, n, row);
        row += 2 * L;
    }
    if (row + L <= n) {
        multiplyRows<1>(out, M, v, n, row);
        row += L;
    }
    for (; row < n; ++row) {
        double sum = 0.0;
        for (std::uint32_t j = 0; j < n; ++j)
            sum = sum + M[row + static_cast<std::uint64_t>(j) * n] * v[j];
        out[row] = sum;
    }
}

bool sumPairwiseBlock(double* sums, const double* A, const double* alpha, const double* weight,
                      std::uint32_t n)
{
    // A negative product needs a negative factor (alpha never holds one once
    // normalised, but it is cheap to look).
    bool mayBeNegative = false;
    const std::uint64_t square = static_cast<std::uint64_t>(n) * n;
    for (std::uint64_t e = 0; e < square && !mayBeNegative; ++e) mayBeNegative = A[e] < 0;
    for (std::uint32_t e = 0; e < n * kStepsPerBlock && !mayBeNegative; ++e)
        mayBeNegative = alpha[e] < 0 || weight[e] < 0;
    return mayBeNegative ? sumBlock<true>(sums, A, alpha, weight, n)
                         : sumBlock<false>(sums, A, alpha, weight, n);
}

void writePairwiseSlice(double* xi, const double* A, const double* alpha, const double* weight,
                        double sum, std::uint32_t n)
{
    const bool divide = sum > 0;
    const DoubleLanes divisor = broadcast(sum);
    for (std::uint32_t j = 0; j < n; ++j) {
        const std::uint64_t offset = static_cast<std::uint64_t>(j) * n;
        const double* column = A + offset;
        double* out = xi + offset;
        const double wj = weight[j];
        const DoubleLanes w = broadcast(wj);
        std::uint32_t i = 0;
        if (divide) {
            for (; i + L <= n; i += L)
                store(out + i, load(column + i) * (load(alpha + i) * w) / divisor);
            for (; i < n; ++i) out[i] = column[i] * (alpha[i] * wj) / sum;
        } else {
            for (; i + L <= n; i += L) store(out + i, load(column + i) * (load(alpha + i) * w));
            for (; i < n; ++i) out[i] = column[i] * (alpha[i] * wj);
        }
    }
}

bool pairwiseHasNegative(const double* A, const double* alpha, const double* weight,
                         std::uint32_t n)
{
    for (std::uint32_t j = 0; j < n; ++j) {
        const double* column = A + static_cast<std::uint64_t>(j) * n;
        const double wj = weight[j];
        const DoubleLanes w = broadcast(wj);
        DoubleLanes lowest{};
        std::uint32_t i = 0;
        for (; i + L <= n; i += L) {
            const DoubleLanes product = load(column + i) * (load(alpha + i) * w);
            lowest = product < lowest ? product : lowest;
        }
        if (anyBelowZero(lowest)) return true;
        for (; i < n; ++i)
            if (column[i] * (alpha[i] * wj) < 0) return true;
    }
    return false;
}

double normalize(double* A, std::uint32_t n, bool* negative)
{
    return normalizeElements(A, n, negative);
}

double forwardStep(double* out, const double* At, const double* previous, const double* observed,
                   std::uint32_t n, bool* negative)
{
    multiplyMatrix(out, At, previous, n);
    multiplyElements(out, out, observed, n);
    return normalizeElements(out, n, negative);
}

void backwardStep(double* out, double* weighted, const double* A, const double* next,
                  const double* observedNext, std::uint32_t n, bool* negative)
{
    multiplyElements(weighted, next, observedNext, n);
    multiplyMatrix(out, A, weighted, n);
    normalizeElements(out, n, negative);
}

void smoothColumn(double* gamma, const double* alpha, const double* beta, std::uint32_t n,
                  bool* negative)
{
    multiplyElements(gamma, alpha, beta, n);
    normalizeElements(gamma, n, negative);
}

bool anyBelowZero(const double* values, std::uint32_t n) { return anyElementBelowZero(values, n); }

} // namespace VECTOR_UNIT_NAMESPACE
