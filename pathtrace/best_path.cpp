#include "best_path.h"

#include <cstddef>
#include <cstdint>

#include "work_memory.h"

// The candidate search of one step on each vector unit (best_path_lanes.cpp):
// best[j] and from[j] for every destination j < K, from a copy of T whose row
// k holds T(k, j) at j + k*stride.
#define DECLARE_BEST_CANDIDATES                                                                    \
    void bestCandidates(const double* previous, const double* transposed, std::size_t K,           \
                        std::size_t stride, float initial, double* best, double* from);
#if defined(PLUGINS_HAVE_SSE2)
namespace unit_sse2
{
DECLARE_BEST_CANDIDATES
}
#endif
#if defined(PLUGINS_HAVE_AVX2)
namespace unit_avx2
{
DECLARE_BEST_CANDIDATES
}
#endif
#if defined(PLUGINS_HAVE_AVX512)
namespace unit_avx512
{
DECLARE_BEST_CANDIDATES
}
#endif
#undef DECLARE_BEST_CANDIDATES

namespace
{

// Round to nearest even; out-of-range values become infinities.
float toSingle(double value) { return static_cast<float>(value); }

// Multiplies the column by 1/total, the quotient taken in single precision and
// the products in double, and returns the widened scale factor.
double scaleColumn(double* column, std::size_t K, float total)
{
    const float scale = 1.0f / total;
    const double widened = scale;
    for (std::size_t j = 0; j < K; ++j) column[j] = widened * column[j];
    return widened;
}

// Column 1: the prior weights times the first local scores.
float startColumn(double* D, double* P, const double* O, const double* R, std::size_t K)
{
    float total = 0.0f;
    for (std::size_t j = 0; j < K; ++j) {
        const float v = toSingle(O[j] * R[j]);
        D[j] = v;
        P[j] = 0.0;
        total = total + v;
    }
    return total;
}

// One link of a comparison chain: only a strictly larger candidate replaces
// the best, so ties keep the lowest source and NaN never wins.
void tryCandidate(float candidate, std::size_t source, float* best, std::size_t* from)
{
    if (candidate > *best) {
        *best = candidate;
        *from = source;
    }
}

// The best single-precision candidate previous[k] * transitionsTo[k] over
// ascending k; *from is 1-based, 0 when none exceeds kInitialBest.
float bestCandidate(const double* previous, const double* transitionsTo, std::size_t K,
                    std::size_t* from)
{
    float best = kInitialBest;
    *from = 0;
    for (std::size_t k = 0; k < K; ++k) {
        tryCandidate(toSingle(previous[k] * transitionsTo[k]), k + 1, &best, from);
    }
    return best;
}

// Destination states whose candidates are tried side by side.
constexpr std::size_t kLanes = 4;

// bestCandidate for the kLanes destination states whose columns of T start at
// transitionsTo. Each destination still tries its sources in ascending order;
// the four comparison chains are independent, so the processor need not wait
// for one comparison before starting the next.
void bestCandidatesSideBySide(const double* previous, const double* transitionsTo, std::size_t K,
                              float best[kLanes], std::size_t from[kLanes])
{
    const double* to0 = transitionsTo;
    const double* to1 = to0 + K;
    const double* to2 = to1 + K;
    const double* to3 = to2 + K;
    float best0 = kInitialBest, best1 = kInitialBest, best2 = kInitialBest, best3 = kInitialBest;
    std::size_t from0 = 0, from1 = 0, from2 = 0, from3 = 0;
    for (std::size_t k = 0; k < K; ++k) {
        const double score = previous[k];
        tryCandidate(toSingle(score * to0[k]), k + 1, &best0, &from0);
        tryCandidate(toSingle(score * to1[k]), k + 1, &best1, &from1);
        tryCandidate(toSingle(score * to2[k]), k + 1, &best2, &from2);
        tryCandidate(toSingle(score * to3[k]), k + 1, &best3, &from3);
    }
    best[0] = best0;
    best[1] = best1;
    best[2] = best2;
    best[3] = best3;
    from[0] = from0;
    from[1] = from1;
    from[2] = from2;
    from[3] = from3;
}

// Score and back-pointer of destination state j; returns the single score.
float finishState(double* D, double* P, const double* O, std::size_t j, float best,
                  std::size_t from)
{
    const float v = toSingle(static_cast<double>(best) * O[j]);
    D[j] = v;
    P[j] = static_cast<double>(from);
    return v;
}

// Columns after the first: for every destination state the best extension of
// the previous (already scaled) column, times the local score. The total adds
// the scores in ascending state order.
float nextColumn(double* D, double* P, const double* previous, const double* O, const double* T,
                 std::size_t K)
{
    float total = 0.0f;
    std::size_t j = 0;
    for (; j + kLanes <= K; j += kLanes) {
        float best[kLanes];
        std::size_t from[kLanes];
        bestCandidatesSideBySide(previous, T + j * K, K, best, from);
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            total = total + finishState(D, P, O, j + lane, best[lane], from[lane]);
        }
    }
    for (; j < K; ++j) {
        std::size_t from = 0;
        const float best = bestCandidate(previous, T + j * K, K, &from);
        total = total + finishState(D, P, O, j, best, from);
    }
    return total;
}

using CandidateSearch = void (*)(const double*, const double*, std::size_t, std::size_t, float,
                                 double*, double*);

CandidateSearch searchFor(VectorUnit unit)
{
    if (!vectorUnitAvailable(unit)) return nullptr;
    switch (unit) {
#if defined(PLUGINS_HAVE_SSE2)
    case VectorUnit::sse2:
        return unit_sse2::bestCandidates;
#endif
#if defined(PLUGINS_HAVE_AVX2)
    case VectorUnit::avx2:
        return unit_avx2::bestCandidates;
#endif
#if defined(PLUGINS_HAVE_AVX512)
    case VectorUnit::avx512:
        return unit_avx512::bestCandidates;
#endif
    default:
        return nullptr;
    }
}

// Row length of the transposed copy: K rounded up to a whole number of every
// unit's register groups (4, 8 or 16 destinations).
constexpr std::size_t kStrideMultiple = 16;

// Copies T (column j = destination) so that row k of the copy holds T(k, j)
// at j + k*stride, contiguous over destinations; the padding is zero.
void transposeTransitions(double* transposed, const double* T, std::size_t K, std::size_t stride)
{
    for (std::size_t k = 0; k < K; ++k) {
        double* row = transposed + k * stride;
        for (std::size_t j = 0; j < K; ++j) row[j] = T[k + j * K];
        for (std::size_t j = K; j < stride; ++j) row[j] = 0.0;
    }
}

// nextColumn with the candidate search on a vector unit: the search leaves
// each best (widened, exactly) in D and its source in P, and the scores are
// then finished in ascending state order as nextColumn finishes them.
float nextColumnBySearch(CandidateSearch search, double* D, double* P, const double* previous,
                         const double* O, const double* transposed, std::size_t K,
                         std::size_t stride)
{
    search(previous, transposed, K, stride, kInitialBest, D, P);
    float total = 0.0f;
    for (std::size_t j = 0; j < K; ++j) {
        const float v = toSingle(D[j] * O[j]);
        D[j] = v;
        total = total + v;
    }
    return total;
}

void plainRecursion(std::size_t K, std::size_t N, const double* O, const double* R, const double* T,
                    bool normalise, double* D, double* P, double* S)
{
    float total = startColumn(D, P, O, R, K);
    if (normalise) S[0] = scaleColumn(D, K, total);
    for (std::size_t t = 1; t < N; ++t) {
        const std::size_t offset = t * K;
        total = nextColumn(D + offset, P + offset, D + offset - K, O + offset, T, K);
        if (normalise) S[t] = scaleColumn(D + offset, K, total);
    }
}

} // namespace

void bestPathScoresOnUnit(VectorUnit unit, std::int32_t K, std::int32_t N, const double* O,
                          const double* R, const double* T, bool normalise, double* D, double* P,
                          double* S)
{
    if (K < 0 || N < 1) return;
    const std::size_t rows = static_cast<std::size_t>(K);
    const std::size_t steps = static_cast<std::size_t>(N);
    const std::size_t stride = (rows + kStrideMultiple - 1) / kStrideMultiple * kStrideMultiple;
    const CandidateSearch search = searchFor(unit);
    // The copy is worth making only when there is a step after the first;
    // it is never a request for zero bytes.
    double* transposed = nullptr;
    if (search && rows > 0 && steps > 1 && stride <= SIZE_MAX / sizeof(double) / rows) {
        transposed = static_cast<double*>(workAllocate(rows * stride * sizeof(double)));
    }
    if (!transposed) {
        plainRecursion(rows, steps, O, R, T, normalise, D, P, S);
        return;
    }
    transposeTransitions(transposed, T, rows, stride);
    float total = startColumn(D, P, O, R, rows);
    if (normalise) S[0] = scaleColumn(D, rows, total);
    for (std::size_t t = 1; t < steps; ++t) {
        const std::size_t offset = t * rows;
        total = nextColumnBySearch(search, D + offset, P + offset, D + offset - rows, O + offset,
                                   transposed, rows, stride);
        if (normalise) S[t] = scaleColumn(D + offset, rows, total);
    }
    workRelease(transposed);
}

VectorUnit bestPathUnitFor(VectorUnit widest, std::int32_t K)
{
    if (K < kVectorStates) return VectorUnit::plain;
    return K < kWidestStates ? unitAtMost(widest, VectorUnit::avx2) : widest;
}

void bestPathScoresInPlace(std::int32_t K, std::int32_t N, const double* O, const double* R,
                           const double* T, bool normalise, double* D, double* P, double* S)
{
    bestPathScoresOnUnit(bestPathUnitFor(widestVectorUnit(), K), K, N, O, R, T, normalise, D, P, S);
}
