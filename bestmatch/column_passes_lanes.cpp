// The per-unit versions of the passes in column_passes.h, compiled once per
// vector unit by add_vector_unit_sources. Each lane applies the plain loops'
// operations to its element; the lanes' least is the least of the two
// operands in the order the plain loops compare them (a NaN never wins), and
// the rows come out of a mask in ascending order.
#include "vector_lanes.h"

#include <immintrin.h>

#include <cstdint>

#include "column_passes.h"

namespace VECTOR_UNIT_NAMESPACE
{
namespace
{

#if defined(VECTOR_UNIT_BUILD_SSE2)
constexpr int kLanes = 2;
typedef __m128d Lanes;
typedef int Mask;
Lanes load(const double* p) { return _mm_loadu_pd(p); }
void store(double* p, Lanes a) { _mm_storeu_pd(p, a); }
Lanes broadcast(double x) { return _mm_set1_pd(x); }
Lanes add(Lanes a, Lanes b) { return _mm_add_pd(a, b); }
Lanes subtract(Lanes a, Lanes b) { return _mm_sub_pd(a, b); }
Lanes least(Lanes a, Lanes b) { return _mm_min_pd(a, b); } // a < b ? a : b
Mask below(Lanes a, Lanes b) { return _mm_movemask_pd(_mm_cmplt_pd(a, b)); }
Mask atmost(Lanes a, Lanes b) { return _mm_movemask_pd(_mm_cmple_pd(a, b)); }
Mask equal(Lanes a, Lanes b) { return _mm_movemask_pd(_mm_cmpeq_pd(a, b)); }
Lanes choose(Mask m, Lanes a, Lanes b) // a where m is set, else b
{
    const __m128i bits = _mm_set_epi64x(-(std::int64_t)((m >> 1) & 1), -(std::int64_t)(m & 1));
    const __m128d select = _mm_castsi128_pd(bits);
    return _mm_or_pd(_mm_and_pd(select, a), _mm_andnot_pd(select, b));
}
#elif defined(VECTOR_UNIT_BUILD_AVX2)
constexpr int kLanes = 4;
typedef __m256d Lanes;
typedef int Mask;
Lanes load(const double* p) { return _mm256_loadu_pd(p); }
void store(double* p, Lanes a) { _mm256_storeu_pd(p, a); }
Lanes broadcast(double x) { return _mm256_set1_pd(x); }
Lanes add(Lanes a, Lanes b) { return _mm256_add_pd(a, b); }
Lanes subtract(Lanes a, Lanes b) { return _mm256_sub_pd(a, b); }
Lanes least(Lanes a, Lanes b) { return _mm256_min_pd(a, b); }
Mask below(Lanes a, Lanes b) { return _mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_LT_OQ)); }
Mask atmost(Lanes a, Lanes b) { return _mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_LE_OQ)); }
Mask equal(Lanes a, Lanes b) { return _mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_EQ_OQ)); }
Lanes choose(Mask m, Lanes a, Lanes b)
{
    const __m256i lane = _mm256_set_epi64x(8, 4, 2, 1);
    const __m256i select = _mm256_cmpeq_epi64(_mm256_and_si256(_mm256_set1_epi64x(m), lane), lane);
    return _mm256_blendv_pd(b, a, _mm256_castsi256_pd(select));
}
#else
constexpr int kLanes = 8;
typedef __m512d Lanes;
typedef __mmask8 Mask;
Lanes load(const double* p) { return _mm512_loadu_pd(p); }
void store(double* p, Lanes a) { _mm512_storeu_pd(p, a); }
Lanes broadcast(double x) { return _mm512_set1_pd(x); }
Lanes add(Lanes a, Lanes b) { return _mm512_add_pd(a, b); }
Lanes subtract(Lanes a, Lanes b) { return _mm512_sub_pd(a, b); }
// maskz: GCC 12 warns about the undefined source of the plain form.
Lanes least(Lanes a, Lanes b) { return _mm512_maskz_min_pd(0xFF, a, b); }
Mask below(Lanes a, Lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
Mask atmost(Lanes a, Lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
Mask equal(Lanes a, Lanes b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
Lanes choose(Mask m, Lanes a, Lanes b) { return _mm512_mask_blend_pd(m, b, a); }
#endif

// Appends the rows first + k of the set bits k of mask, ascending.
std::int32_t appendrows(unsigned mask, std::int32_t first, std::int32_t* rows, std::int32_t count)
{
    while (mask) {
        rows[count++] = first + __builtin_ctz(mask);
        mask &= mask - 1;
    }
    return count;
}

// The plain loops write rows counted from their own start: the tails' rows
// are moved to the column's numbering.
std::int32_t shifttail(std::int32_t* rows, std::int32_t count, std::int32_t first)
{
    for (std::int32_t k = 0; k < count; ++k) rows[k] += first;
    return count;
}

std::int32_t leastandzeros(const double* column, const double* rowMask, std::int32_t M,
                           double* slack, std::int32_t* zeroRows)
{
    std::int32_t zeros = 0;
    const Lanes zero = broadcast(0.0);
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) {
        const Lanes value = add(load(column + i), load(rowMask + i));
        store(slack + i, least(value, load(slack + i)));
        const Mask zeroMask = equal(value, zero);
        if (zeroMask) zeros = appendrows(static_cast<unsigned>(zeroMask), i, zeroRows, zeros);
    }
    const std::int32_t tail =
        leastandzerosplain(column + i, rowMask + i, M - i, slack + i, zeroRows + zeros);
    return zeros + shifttail(zeroRows + zeros, tail, i);
}

std::int32_t shiftuncovered(double* column, const double* addend, const double* rowMask, double h,
                            std::int32_t M, double* slack, std::int32_t* zeroRows)
{
    std::int32_t zeros = 0;
    const Lanes zero = broadcast(0.0);
    const Lanes shift = broadcast(h);
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) {
        const Lanes value = subtract(add(load(column + i), load(addend + i)), shift);
        store(column + i, value);
        store(slack + i, least(value, load(slack + i)));
        const Mask zeroMask = equal(add(value, load(rowMask + i)), zero);
        if (zeroMask) zeros = appendrows(static_cast<unsigned>(zeroMask), i, zeroRows, zeros);
    }
    const std::int32_t tail = shiftuncoveredplain(column + i, addend + i, rowMask + i, h, M - i,
                                                  slack + i, zeroRows + zeros);
    return zeros + shifttail(zeroRows + zeros, tail, i);
}

void shiftcovered(double* column, const double* addend, std::int32_t M)
{
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) store(column + i, add(load(column + i), load(addend + i)));
    shiftcoveredplain(column + i, addend + i, M - i);
}

std::int32_t rowsatmost(const double* column, double shift, const double* threshold, std::int32_t M,
                        std::int32_t* rows)
{
    const Lanes shifts = broadcast(shift);
    std::int32_t found = 0;
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) {
        const Mask mask = atmost(add(load(column + i), shifts), load(threshold + i));
        if (mask) found = appendrows(static_cast<unsigned>(mask), i, rows, found);
    }
    const std::int32_t tail =
        rowsatmostplain(column + i, shift, threshold + i, M - i, rows + found);
    return found + shifttail(rows + found, tail, i);
}

void mergekeys(KeyMerge* merge)
{
    const Lanes shift = broadcast(merge->shift);
    const Lanes columnNumber = broadcast(merge->columnNumber);
    const Lanes total = broadcast(merge->total);
    const Lanes bound = broadcast(merge->bound);
    std::int32_t i = 0;
    for (; i + kLanes <= merge->M; i += kLanes) {
        const Lanes key = add(add(load(merge->column + i), shift), load(merge->rowMask + i));
        const Lanes phaseKey = load(merge->phaseKey + i);
        const Mask fell = below(key, phaseKey);
        if (fell) {
            store(merge->phaseOther + i,
                  choose(fell, phaseKey, least(key, load(merge->phaseOther + i))));
            store(merge->phaseKey + i, least(key, phaseKey));
            store(merge->phaseColumn + i, choose(fell, columnNumber, load(merge->phaseColumn + i)));
            const Mask improved = fell & below(key, load(merge->freeLeast + i));
            if (improved) {
                store(merge->rowKey + i, choose(improved, add(key, load(merge->rowShift + i)),
                                                load(merge->rowKey + i)));
                // Past the limit the rows are only counted: the caller then
                // takes every row key as changed.
                const int count = __builtin_popcount(static_cast<unsigned>(improved));
                if (merge->improvedCount + count <= merge->improvedLimit) {
                    merge->improvedCount = appendrows(static_cast<unsigned>(improved), i,
                                                      merge->improved, merge->improvedCount);
                } else {
                    merge->improvedCount += count;
                }
            }
        } else {
            store(merge->phaseOther + i, least(key, load(merge->phaseOther + i)));
        }
        const Lanes approximation = subtract(add(key, load(merge->rowShift + i)), total);
        const Mask candidates = atmost(approximation, bound);
        if (candidates) {
            merge->candidateCount = appendrows(static_cast<unsigned>(candidates), i,
                                               merge->candidates, merge->candidateCount);
        }
    }
    // The tail through the plain loops, on the same lists.
    KeyMerge tail = keymergerows(*merge, i, merge->M);
    const std::int32_t improvedKept =
        merge->improvedCount < merge->improvedLimit ? merge->improvedCount : merge->improvedLimit;
    tail.improved += improvedKept;
    tail.improvedLimit = merge->improvedLimit - improvedKept;
    tail.improvedCount = 0;
    tail.candidates += merge->candidateCount;
    tail.candidateCount = 0;
    mergekeysplain(&tail);
    shifttail(tail.improved,
              tail.improvedCount < tail.improvedLimit ? tail.improvedCount : tail.improvedLimit, i);
    shifttail(tail.candidates, tail.candidateCount, i);
    merge->improvedCount += tail.improvedCount;
    merge->candidateCount += tail.candidateCount;
}

std::int32_t firstcandidate(const double* column, double shift, const double* rowMask,
                            const double* rowShift, double total, double bound, std::int32_t from,
                            std::int32_t M)
{
    const Lanes shifts = broadcast(shift);
    const Lanes totals = broadcast(total);
    const Lanes bounds = broadcast(bound);
    std::int32_t i = from;
    for (; i + kLanes <= M; i += kLanes) {
        const Lanes key = add(add(load(column + i), shifts), load(rowMask + i));
        const Mask mask = atmost(subtract(add(key, load(rowShift + i)), totals), bounds);
        if (mask) return i + __builtin_ctz(static_cast<unsigned>(mask));
    }
    return firstcandidateplain(column, shift, rowMask, rowShift, total, bound, i, M);
}

bool copycosts(double* to, const double* from, std::size_t count, double* largest, bool* notFinite,
               bool* nan)
{
    // Lanes keep the largest finite value seen in them; NaN and the
    // infinities take no part (a NaN never compares above, an infinity is
    // masked out), and the lanes' largest is the largest overall.
    const Lanes zero = broadcast(0.0);
    const Lanes infinity = broadcast(__builtin_inf());
    Lanes most = broadcast(*largest);
    bool anyNotFinite = false;
    bool anyNan = false;
    std::size_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
        const Lanes v = load(from + k);
        const Lanes magnitude = choose(below(v, zero), subtract(zero, v), v);
        const Mask finite = below(magnitude, infinity);
        if (finite & below(v, zero)) return false;
        const Mask notFiniteMask = static_cast<Mask>(~finite & ((1u << kLanes) - 1));
        if (notFiniteMask) {
            anyNotFinite = true;
            if (~equal(v, v) & ((1u << kLanes) - 1)) anyNan = true;
        }
        most = choose(finite & below(most, v), v, most);
        if (to) store(to + k, v);
    }
    double lanes[kLanes];
    store(lanes, most);
    for (int lane = 0; lane < kLanes; ++lane) {
        if (lanes[lane] > *largest) *largest = lanes[lane];
    }
    if (anyNotFinite) *notFinite = true;
    if (anyNan) *nan = true;
    return copycostsplain(to ? to + k : nullptr, from + k, count - k, largest, notFinite, nan);
}

void lowerleast(const double* column, std::int32_t M, double* leasts)
{
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) {
        store(leasts + i, least(load(column + i), load(leasts + i)));
    }
    lowerleastplain(column + i, M - i, leasts + i);
}

std::int32_t subtractleast(double* column, const double* from, const double* leasts, std::int32_t M,
                           std::int32_t* zeroRows)
{
    const Lanes zero = broadcast(0.0);
    std::int32_t zeros = 0;
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) {
        const Lanes value = subtract(load(from + i), load(leasts + i));
        store(column + i, value);
        const Mask zeroMask = equal(value, zero);
        if (zeroMask) zeros = appendrows(static_cast<unsigned>(zeroMask), i, zeroRows, zeros);
    }
    const std::int32_t tail =
        subtractleastplain(column + i, from + i, leasts + i, M - i, zeroRows + zeros);
    return zeros + shifttail(zeroRows + zeros, tail, i);
}

// The lanes' least, then the least of the lanes: for values that are not
// NaN the least is the same whatever the order (a NaN never replaces one).
double leastvalue(const double* values, std::int32_t M)
{
    Lanes lanes = broadcast(__builtin_inf());
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) lanes = least(load(values + i), lanes);
    double parts[kLanes];
    store(parts, lanes);
    double result = leastvalueplain(values + i, M - i);
    for (int lane = 0; lane < kLanes; ++lane) {
        if (parts[lane] < result) result = parts[lane];
    }
    return result;
}

std::int32_t rowsatmostvalue(const double* values, double threshold, std::int32_t M,
                             std::int32_t* rows)
{
    const Lanes limit = broadcast(threshold);
    std::int32_t found = 0;
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) {
        const Mask mask = atmost(load(values + i), limit);
        if (mask) found = appendrows(static_cast<unsigned>(mask), i, rows, found);
    }
    const std::int32_t tail = rowsatmostvalueplain(values + i, threshold, M - i, rows + found);
    return found + shifttail(rows + found, tail, i);
}

std::int32_t rowsbelow(const double* column, const double* limit, double* floor, std::int32_t M,
                       std::int32_t* rows)
{
    std::int32_t found = 0;
    std::int32_t i = 0;
    for (; i + kLanes <= M; i += kLanes) {
        const Lanes values = load(column + i);
        const Mask mask = below(values, load(limit + i));
        const Lanes floors = load(floor + i);
        store(floor + i, choose(mask, floors, least(values, floors)));
        if (mask) found = appendrows(static_cast<unsigned>(mask), i, rows, found);
    }
    const std::int32_t tail = rowsbelowplain(column + i, limit + i, floor + i, M - i, rows + found);
    return found + shifttail(rows + found, tail, i);
}

} // namespace

extern const ColumnPasses kColumnPasses;
const ColumnPasses kColumnPasses{leastandzeros, shiftuncovered, shiftcovered,    rowsatmost,
                                 mergekeys,     firstcandidate, copycosts,       lowerleast,
                                 subtractleast, leastvalue,     rowsatmostvalue, rowsbelow};

} // namespace VECTOR_UNIT_NAMESPACE
