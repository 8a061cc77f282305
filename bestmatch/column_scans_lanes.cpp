// The per-unit versions of the scans in column_scans.h, compiled once per
// vector unit by add_vector_unit_sources.
#include "vector_lanes.h"

#include <immintrin.h>

#include <cstdint>
#include <limits>

#include "column_scans.h"

namespace VECTOR_UNIT_NAMESPACE
{
namespace
{

#if defined(VECTOR_UNIT_BUILD_SSE2)
typedef __m128d Lanes;
Lanes loadlanes(const double* p) { return _mm_loadu_pd(p); }
Lanes broadcast(double x) { return _mm_set1_pd(x); }
Lanes add(Lanes a, Lanes b) { return _mm_add_pd(a, b); }
Lanes subtract(Lanes a, Lanes b) { return _mm_sub_pd(a, b); }
Lanes multiply(Lanes a, Lanes b) { return _mm_mul_pd(a, b); }
Lanes least(Lanes a, Lanes b) { return _mm_min_pd(a, b); } // b where a is NaN
Lanes magnitude(Lanes a) { return _mm_and_pd(a, _mm_castsi128_pd(_mm_set1_epi64x(INT64_MAX))); }
Lanes equalmask(Lanes a, Lanes b) { return _mm_cmpeq_pd(a, b); }
Lanes atmostmask(Lanes a, Lanes b) { return _mm_cmple_pd(a, b); }
Lanes either(Lanes a, Lanes b) { return _mm_or_pd(a, b); }
Lanes none() { return _mm_setzero_pd(); }
bool anyset(Lanes mask) { return _mm_movemask_pd(mask) != 0; }
void storelanes(double* p, Lanes a) { _mm_storeu_pd(p, a); }
#elif defined(VECTOR_UNIT_BUILD_AVX2)
typedef __m256d Lanes;
Lanes loadlanes(const double* p) { return _mm256_loadu_pd(p); }
Lanes broadcast(double x) { return _mm256_set1_pd(x); }
Lanes add(Lanes a, Lanes b) { return _mm256_add_pd(a, b); }
Lanes subtract(Lanes a, Lanes b) { return _mm256_sub_pd(a, b); }
Lanes multiply(Lanes a, Lanes b) { return _mm256_mul_pd(a, b); }
Lanes least(Lanes a, Lanes b) { return _mm256_min_pd(a, b); }
Lanes magnitude(Lanes a)
{
    return _mm256_and_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(INT64_MAX)));
}
Lanes equalmask(Lanes a, Lanes b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
Lanes atmostmask(Lanes a, Lanes b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
Lanes either(Lanes a, Lanes b) { return _mm256_or_pd(a, b); }
Lanes none() { return _mm256_setzero_pd(); }
bool anyset(Lanes mask) { return _mm256_movemask_pd(mask) != 0; }
void storelanes(double* p, Lanes a) { _mm256_storeu_pd(p, a); }
#else
typedef __m512d Lanes;
typedef __mmask8 Mask;
Lanes loadlanes(const double* p) { return _mm512_loadu_pd(p); }
Lanes broadcast(double x) { return _mm512_set1_pd(x); }
Lanes add(Lanes a, Lanes b) { return _mm512_add_pd(a, b); }
Lanes subtract(Lanes a, Lanes b) { return _mm512_sub_pd(a, b); }
Lanes multiply(Lanes a, Lanes b) { return _mm512_mul_pd(a, b); }
// maskz: GCC 12 warns about the undefined source of the plain form.
Lanes least(Lanes a, Lanes b) { return _mm512_maskz_min_pd(0xFF, a, b); }
Lanes magnitude(Lanes a)
{
    return _mm512_castsi512_pd(
        _mm512_and_epi64(_mm512_castpd_si512(a), _mm512_set1_epi64(INT64_MAX)));
}
Mask equalmask(Lanes a, Lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
Mask atmostmask(Lanes a, Lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
Mask either(Mask a, Mask b) { return static_cast<Mask>(a | b); }
Mask none() { return 0; }
bool anyset(Mask mask) { return mask != 0; }
void storelanes(double* p, Lanes a) { _mm512_storeu_pd(p, a); }
#endif

constexpr std::int32_t L = kDoubleLanes;
static_assert(kScanBlock % L == 0, "a block is whole registers");

Lanes raisedat(const double* start, const double* rowShift, std::int32_t i)
{
    return add(loadlanes(start + i), loadlanes(rowShift + i));
}

double leastraised(const double* start, const double* rowShift, std::int32_t M)
{
    const double infinity = std::numeric_limits<double>::infinity();
    // Two independent registers, so that the minima of one do not wait on
    // the other's.
    Lanes first = broadcast(infinity), second = first;
    std::int32_t i = 0;
    for (; i + 2 * L <= M; i += 2 * L) {
        first = least(raisedat(start, rowShift, i), first);
        second = least(raisedat(start, rowShift, i + L), second);
    }
    double values[2 * L];
    storelanes(values, first);
    storelanes(values + L, second);
    double smallest = infinity;
    for (const double value : values) smallest = value < smallest ? value : smallest;
    for (; i < M; ++i) {
        const double raised = start[i] + rowShift[i];
        smallest = raised < smallest ? raised : smallest;
    }
    return smallest;
}

std::int32_t firstraisedequal(const double* start, const double* rowShift, std::int32_t from,
                              std::int32_t M, double value)
{
    const Lanes target = broadcast(value);
    std::int32_t i = from;
    for (; i + 2 * L <= M; i += 2 * L) {
        const auto low = equalmask(raisedat(start, rowShift, i), target);
        const auto high = equalmask(raisedat(start, rowShift, i + L), target);
        if (anyset(either(low, high))) break;
    }
    for (; i < M; ++i) {
        if (start[i] + rowShift[i] == value) return i;
    }
    return M;
}

std::int32_t firstcandidateblock(const double* start, const double* rowShift, std::int32_t from,
                                 std::int32_t M, double columnShift, double bound)
{
    const Lanes shift = broadcast(columnShift);
    const Lanes factor = broadcast(bound);
    std::int32_t i = from;
    for (; i + kScanBlock <= M; i += kScanBlock) {
        auto hit = none();
        if (bound == 0.0) {
            // Exact sums: a is zero exactly when start + rowShift equals
            // columnShift.
            for (std::int32_t k = 0; k < kScanBlock; k += L) {
                hit = either(hit, equalmask(raisedat(start, rowShift, i + k), shift));
            }
        } else {
            for (std::int32_t k = 0; k < kScanBlock; k += L) {
                const Lanes raised = raisedat(start, rowShift, i + k);
                const Lanes distance = magnitude(subtract(raised, shift));
                const Lanes reach = multiply(factor, add(raised, shift));
                hit = either(hit, atmostmask(distance, reach));
            }
        }
        if (anyset(hit)) return i;
    }
    return i < M ? i : M;
}

} // namespace

extern const ColumnScans kColumnScans;
const ColumnScans kColumnScans{leastraised, firstraisedequal, firstcandidateblock};

} // namespace VECTOR_UNIT_NAMESPACE
