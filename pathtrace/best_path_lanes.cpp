// The candidate search of one Viterbi step, many destination states at once.
// Built once per vector unit (cmake's add_vector_unit_sources).
//
// Each lane of a register is one destination state j. For every source k in
// ascending order the lane forms the double product previous[k] * T(k, j),
// rounds it to single precision (cvtpd2ps, round to nearest like the scalar
// conversion) and keeps it only when it compares strictly greater, ordered,
// than the lane's best so far: exactly the scalar chain of comparisons, so
// ties keep the lowest source and a NaN never wins.

#include "vector_lanes.h"

#include <cstddef>
#include <cstdint>
#include <immintrin.h>

namespace VECTOR_UNIT_NAMESPACE
{
namespace
{

#if defined(VECTOR_UNIT_BUILD_AVX512)

// 16 destinations: two products of 8 doubles, one register of 16 singles.
constexpr std::size_t kGroup = 16;
struct Lanes {
    __m512 best;
    __m512i from;
};

Lanes startLanes(float initial) { return {_mm512_set1_ps(initial), _mm512_setzero_si512()}; }

void tryLanes(Lanes* lanes, __m512d score, const double* to, __m512i source)
{
    // The zero-masked forms compute the same as the plain ones (every lane
    // selected) and spare GCC's warning about their undefined pass-through.
    const __mmask8 all = 0xFF;
    const __m256 low = _mm512_maskz_cvtpd_ps(all, _mm512_mul_pd(score, _mm512_loadu_pd(to)));
    const __m256 high = _mm512_maskz_cvtpd_ps(all, _mm512_mul_pd(score, _mm512_loadu_pd(to + 8)));
    const __m512 candidate = _mm512_castpd_ps(_mm512_maskz_insertf64x4(
        all, _mm512_maskz_insertf64x4(all, _mm512_setzero_pd(), _mm256_castps_pd(low), 0),
        _mm256_castps_pd(high), 1));
    const __mmask16 better = _mm512_cmp_ps_mask(candidate, lanes->best, _CMP_GT_OQ);
    lanes->best = _mm512_mask_blend_ps(better, lanes->best, candidate);
    lanes->from = _mm512_mask_blend_epi32(better, lanes->from, source);
}

__m512d broadcast(double value) { return _mm512_set1_pd(value); }
__m512i broadcastSource(std::int32_t source) { return _mm512_set1_epi32(source); }

void storeLanes(const Lanes& lanes, float* best, std::int32_t* from)
{
    _mm512_storeu_ps(best, lanes.best);
    _mm512_storeu_si512(from, lanes.from);
}

Lanes mergeLanes(const Lanes& even, const Lanes& odd)
{
    const __mmask16 larger = _mm512_cmp_ps_mask(odd.best, even.best, _CMP_GT_OQ);
    const __mmask16 tied = _mm512_cmp_ps_mask(odd.best, even.best, _CMP_EQ_OQ) &
                           _mm512_cmp_epi32_mask(odd.from, even.from, _MM_CMPINT_LT);
    const __mmask16 odds = larger | tied;
    return {_mm512_mask_blend_ps(odds, even.best, odd.best),
            _mm512_mask_blend_epi32(odds, even.from, odd.from)};
}

#elif defined(VECTOR_UNIT_BUILD_AVX2)

// 8 destinations: two products of 4 doubles, one register of 8 singles.
constexpr std::size_t kGroup = 8;
struct Lanes {
    __m256 best;
    __m256 from; // int32 lanes, kept in a float register for the blend
};

Lanes startLanes(float initial) { return {_mm256_set1_ps(initial), _mm256_setzero_ps()}; }

void tryLanes(Lanes* lanes, __m256d score, const double* to, __m256 source)
{
    const __m128 low = _mm256_cvtpd_ps(_mm256_mul_pd(score, _mm256_loadu_pd(to)));
    const __m128 high = _mm256_cvtpd_ps(_mm256_mul_pd(score, _mm256_loadu_pd(to + 4)));
    const __m256 candidate = _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
    const __m256 better = _mm256_cmp_ps(candidate, lanes->best, _CMP_GT_OQ);
    lanes->best = _mm256_blendv_ps(lanes->best, candidate, better);
    lanes->from = _mm256_blendv_ps(lanes->from, source, better);
}

__m256d broadcast(double value) { return _mm256_set1_pd(value); }
__m256 broadcastSource(std::int32_t source)
{
    return _mm256_castsi256_ps(_mm256_set1_epi32(source));
}

void storeLanes(const Lanes& lanes, float* best, std::int32_t* from)
{
    _mm256_storeu_ps(best, lanes.best);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(from), _mm256_castps_si256(lanes.from));
}

Lanes mergeLanes(const Lanes& even, const Lanes& odd)
{
    const __m256 larger = _mm256_cmp_ps(odd.best, even.best, _CMP_GT_OQ);
    const __m256 lower = _mm256_castsi256_ps(
        _mm256_cmpgt_epi32(_mm256_castps_si256(even.from), _mm256_castps_si256(odd.from)));
    const __m256 tied = _mm256_and_ps(_mm256_cmp_ps(odd.best, even.best, _CMP_EQ_OQ), lower);
    const __m256 odds = _mm256_or_ps(larger, tied);
    return {_mm256_blendv_ps(even.best, odd.best, odds),
            _mm256_blendv_ps(even.from, odd.from, odds)};
}

#else // SSE2

// 4 destinations: two products of 2 doubles, one register of 4 singles.
constexpr std::size_t kGroup = 4;
struct Lanes {
    __m128 best;
    __m128 from; // int32 lanes, kept in a float register for the select
};

Lanes startLanes(float initial) { return {_mm_set1_ps(initial), _mm_setzero_ps()}; }

__m128 select(__m128 mask, __m128 whenSet, __m128 otherwise)
{
    return _mm_or_ps(_mm_and_ps(mask, whenSet), _mm_andnot_ps(mask, otherwise));
}

void tryLanes(Lanes* lanes, __m128d score, const double* to, __m128 source)
{
    const __m128 low = _mm_cvtpd_ps(_mm_mul_pd(score, _mm_loadu_pd(to)));
    const __m128 high = _mm_cvtpd_ps(_mm_mul_pd(score, _mm_loadu_pd(to + 2)));
    const __m128 candidate = _mm_movelh_ps(low, high);
    const __m128 better = _mm_cmpgt_ps(candidate, lanes->best);
    lanes->best = select(better, candidate, lanes->best);
    lanes->from = select(better, source, lanes->from);
}

__m128d broadcast(double value) { return _mm_set1_pd(value); }
__m128 broadcastSource(std::int32_t source) { return _mm_castsi128_ps(_mm_set1_epi32(source)); }

void storeLanes(const Lanes& lanes, float* best, std::int32_t* from)
{
    _mm_storeu_ps(best, lanes.best);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(from), _mm_castps_si128(lanes.from));
}

Lanes mergeLanes(const Lanes& even, const Lanes& odd)
{
    const __m128 larger = _mm_cmpgt_ps(odd.best, even.best);
    const __m128 lower =
        _mm_castsi128_ps(_mm_cmpgt_epi32(_mm_castps_si128(even.from), _mm_castps_si128(odd.from)));
    const __m128 tied = _mm_and_ps(_mm_cmpeq_ps(odd.best, even.best), lower);
    const __m128 odds = _mm_or_ps(larger, tied);
    return {select(odds, odd.best, even.best), select(odds, odd.from, even.from)};
}

#endif

// mergeLanes(even, odd): what one comparison chain over every source keeps,
// from a chain over the even sources and one over the odd sources: the
// larger best, and of equal bests (both found, or both none with source 0)
// the one from the lower source, its value included, so that of -0 and +0
// the first stays. A NaN is never a best, so the two bests always compare.

// Independent comparison chains kept in registers at once, so that one
// chain's compare and select need not wait for the previous source's.
constexpr std::size_t kChains = 4;

// Writes the best candidate and its 1-based source (0 for none) of the
// destinations j0 .. j0 + count*kGroup - 1 (those below K only).
template <std::size_t count>
void searchBlock(const double* previous, const double* transposed, std::size_t K,
                 std::size_t stride, std::size_t j0, float initial, double* best, double* from)
{
    Lanes lanes[count];
#pragma GCC unroll 4
    for (std::size_t c = 0; c < count; ++c) lanes[c] = startLanes(initial);
    const double* row = transposed + j0;
    for (std::size_t k = 0; k < K; ++k, row += stride) {
        const auto score = broadcast(previous[k]);
        const auto source = broadcastSource(static_cast<std::int32_t>(k + 1));
#pragma GCC unroll 4
        for (std::size_t c = 0; c < count; ++c)
            tryLanes(&lanes[c], score, row + c * kGroup, source);
    }
    for (std::size_t c = 0; c < count; ++c) {
        alignas(64) float bestLanes[kGroup];
        alignas(64) std::int32_t fromLanes[kGroup];
        storeLanes(lanes[c], bestLanes, fromLanes);
        for (std::size_t lane = 0; lane < kGroup; ++lane) {
            const std::size_t j = j0 + c * kGroup + lane;
            if (j >= K) return;
            best[j] = bestLanes[lane];
            from[j] = fromLanes[lane];
        }
    }
}

// searchBlock for a single register group, whose lone chain would make every
// step wait on K comparisons in a row: two chains instead, over the even
// sources and over the odd, merged at the end. (Two or more groups have
// chains enough; splitting theirs measured slower.)
void searchGroupInTwoChains(const double* previous, const double* transposed, std::size_t K,
                            std::size_t stride, std::size_t j0, float initial, double* best,
                            double* from)
{
    Lanes even = startLanes(initial), odd = startLanes(initial);
    const double* row = transposed + j0;
    std::size_t k = 0;
    for (; k + 2 <= K; k += 2, row += 2 * stride) {
        tryLanes(&even, broadcast(previous[k]), row,
                 broadcastSource(static_cast<std::int32_t>(k + 1)));
        tryLanes(&odd, broadcast(previous[k + 1]), row + stride,
                 broadcastSource(static_cast<std::int32_t>(k + 2)));
    }
    if (k < K) {
        tryLanes(&even, broadcast(previous[k]), row,
                 broadcastSource(static_cast<std::int32_t>(k + 1)));
    }
    alignas(64) float bestLanes[kGroup];
    alignas(64) std::int32_t fromLanes[kGroup];
    storeLanes(mergeLanes(even, odd), bestLanes, fromLanes);
    for (std::size_t lane = 0; lane < kGroup && j0 + lane < K; ++lane) {
        best[j0 + lane] = bestLanes[lane];
        from[j0 + lane] = fromLanes[lane];
    }
}

} // namespace

// For every destination j < K: best[j] = the best single-precision candidate
// previous[k] * T(k, j) over ascending k, widened, and from[j] its 1-based
// source, 0 when none exceeds initial. transposed holds T(k, j) at
// j + k*stride, with stride at least K rounded up to a multiple of 16; the
// entries beyond K of each row are read and their lanes discarded.
void bestCandidates(const double* previous, const double* transposed, std::size_t K,
                    std::size_t stride, float initial, double* best, double* from)
{
    std::size_t j0 = 0;
    for (; j0 + kChains * kGroup <= K; j0 += kChains * kGroup) {
        searchBlock<kChains>(previous, transposed, K, stride, j0, initial, best, from);
    }
    switch ((K - j0 + kGroup - 1) / kGroup) {
    case 4:
        searchBlock<4>(previous, transposed, K, stride, j0, initial, best, from);
        break;
    case 3:
        searchBlock<3>(previous, transposed, K, stride, j0, initial, best, from);
        break;
    case 2:
        searchBlock<2>(previous, transposed, K, stride, j0, initial, best, from);
        break;
    case 1:
        searchGroupInTwoChains(previous, transposed, K, stride, j0, initial, best, from);
        break;
    default:
        break;
    }
}

} // namespace VECTOR_UNIT_NAMESPACE
