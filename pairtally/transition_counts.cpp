#include "transition_counts.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "parallel.h"

// The two halves of the counts on each vector unit (transition_counts_lanes.cpp).
#define DECLARE_TALLY_KERNELS                                                                      \
    std::size_t stepsSummedAtOnce();                                                               \
    void stepSums(std::size_t K, std::size_t first, std::size_t count, const double* alpha,        \
                  const double* beta, const double* A, const double* obslik, double* sums,         \
                  double* work);                                                                   \
    void addQuotients(std::size_t K, std::size_t steps, const double* alpha, const double* beta,   \
                      const double* A, const double* obslik, const double* sums,                   \
                      std::size_t firstColumn, std::size_t endColumn, double* out);                \
    void sumsAndQuotients(std::size_t K, std::size_t steps, const double* alpha,                   \
                          const double* beta, const double* A, const double* obslik, double* work, \
                          double* out);
#if defined(PLUGINS_HAVE_SSE2)
namespace unit_sse2
{
DECLARE_TALLY_KERNELS
}
#endif
#if defined(PLUGINS_HAVE_AVX2)
namespace unit_avx2
{
DECLARE_TALLY_KERNELS
}
#endif
#if defined(PLUGINS_HAVE_AVX512)
namespace unit_avx512
{
DECLARE_TALLY_KERNELS
}
#endif
#undef DECLARE_TALLY_KERNELS

// Every step's sum is one chain of K*K dependent additions in a fixed order,
// and that chain bounds the speed. Everything else is arranged to run beneath
// it: the table X is kept row by row (X[i*K + j] holds X(i, j)), so the sum
// reads it in storage order, and the quotients of one step are added into out
// while the table of the next step is formed and summed. For that, out is
// transposed to the same row-by-row layout for the run and transposed back at
// the end. Each element of out still receives the same quotients, formed and
// added in the same order (descending t) as in the plain three-loop form.

namespace
{

// Swaps m(i, j) and m(j, i) for a K-by-K matrix; moves values, computes none.
void transposeSquareInPlace(double* m, std::size_t K)
{
    for (std::size_t j = 1; j < K; ++j) {
        for (std::size_t i = 0; i < j; ++i) {
            const double above = m[i + j * K];
            m[i + j * K] = m[j + i * K];
            m[j + i * K] = above;
        }
    }
}

// w(j) = beta(j) * obslik(j): the weight of arriving in state j, formed once
// per step rather than once per table entry.
void arrivalWeights(double* w, const double* betaNext, const double* obslikNext, std::size_t K)
{
    for (std::size_t j = 0; j < K; ++j) w[j] = betaNext[j] * obslikNext[j];
}

// Forms the first table, X(i, j) = (A(i, j) * alpha(i)) * w(j); returns its
// sum taken row by row.
double fillTable(double* X, const double* A, const double* alphaNow, const double* w, std::size_t K)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < K; ++i) {
        const double alphaI = alphaNow[i];
        double* row = X + i * K;
        for (std::size_t j = 0; j < K; ++j) {
            const double x = (A[i + j * K] * alphaI) * w[j];
            row[j] = x;
            sum = sum + x;
        }
    }
    return sum;
}

// Adds the pending table, divided by its sum, into the transposed out and
// replaces it entry by entry with the next table, as fillTable forms it;
// returns the next table's sum.
double foldAndFillTable(double* outByRow, double* X, double pendingSum, const double* A,
                        const double* alphaNow, const double* w, std::size_t K)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < K; ++i) {
        const double alphaI = alphaNow[i];
        double* row = X + i * K;
        double* outRow = outByRow + i * K;
        for (std::size_t j = 0; j < K; ++j) {
            outRow[j] = outRow[j] + row[j] / pendingSum;
            const double x = (A[i + j * K] * alphaI) * w[j];
            row[j] = x;
            sum = sum + x;
        }
    }
    return sum;
}

// out(e) += X(e) / sum, for the last pending table.
void addNormalised(double* out, const double* X, double sum, std::size_t count)
{
    for (std::size_t e = 0; e < count; ++e) out[e] = out[e] + X[e] / sum;
}

struct TallyKernels {
    std::size_t (*stepsSummedAtOnce)();
    void (*stepSums)(std::size_t, std::size_t, std::size_t, const double*, const double*,
                     const double*, const double*, double*, double*);
    void (*addQuotients)(std::size_t, std::size_t, const double*, const double*, const double*,
                         const double*, const double*, std::size_t, std::size_t, double*);
    void (*sumsAndQuotients)(std::size_t, std::size_t, const double*, const double*, const double*,
                             const double*, double*, double*);
};

bool kernelsFor(VectorUnit unit, TallyKernels* kernels)
{
    if (!vectorUnitAvailable(unit)) return false;
    switch (unit) {
#if defined(PLUGINS_HAVE_SSE2)
    case VectorUnit::sse2:
        *kernels = {unit_sse2::stepsSummedAtOnce, unit_sse2::stepSums, unit_sse2::addQuotients,
                    unit_sse2::sumsAndQuotients};
        return true;
#endif
#if defined(PLUGINS_HAVE_AVX2)
    case VectorUnit::avx2:
        *kernels = {unit_avx2::stepsSummedAtOnce, unit_avx2::stepSums, unit_avx2::addQuotients,
                    unit_avx2::sumsAndQuotients};
        return true;
#endif
#if defined(PLUGINS_HAVE_AVX512)
    case VectorUnit::avx512:
        *kernels = {unit_avx512::stepsSummedAtOnce, unit_avx512::stepSums,
                    unit_avx512::addQuotients, unit_avx512::sumsAndQuotients};
        return true;
#endif
    default:
        return false;
    }
}

// The part of [0, count) that part p of `parts` takes.
std::size_t partStart(std::size_t count, int part, int parts)
{
    return count * static_cast<std::size_t>(part) / static_cast<std::size_t>(parts);
}

} // namespace

VectorUnit tallyUnitFor(VectorUnit widest, std::int32_t K)
{
    if (K == 3) return VectorUnit::plain;
    const std::size_t rows = K > 0 ? static_cast<std::size_t>(K) : 0;
    VectorUnit best = VectorUnit::plain;
    std::size_t fewest = rows;
    std::size_t lanes = 1;
    for (VectorUnit unit : {VectorUnit::sse2, VectorUnit::avx2, VectorUnit::avx512}) {
        lanes *= 2;
        if (unit > widest) break;
        if (!vectorUnitAvailable(unit)) continue;
        const std::size_t steps = rows / lanes + rows % lanes;
        if (steps <= fewest) {
            best = unit;
            fewest = steps;
        }
    }
    return best;
}

std::size_t tallyWorkingDoubles(VectorUnit unit, std::int32_t K, std::int32_t T, int threads)
{
    TallyKernels kernels{};
    if (K < 1 || T < 2 || !kernelsFor(unit, &kernels)) return 0;
    const std::size_t states = static_cast<std::size_t>(K);
    const std::size_t perThread = 2 * kernels.stepsSummedAtOnce();
    const std::size_t parts = threads > 1 ? static_cast<std::size_t>(threads) : 1;
    if (states > SIZE_MAX / perThread / parts) return 0;
    const std::size_t side = states * perThread * parts;
    // One thread keeps two groups' sums of its own; several keep every sum.
    const std::size_t sums = parts > 1 ? static_cast<std::size_t>(T) - 1 : 0;
    return side > SIZE_MAX / sizeof(double) - sums ? 0 : side + sums;
}

void tallyTransitionsOnUnit(VectorUnit unit, int threads, std::int32_t K, std::int32_t T,
                            const double* alpha, const double* beta, const double* A,
                            const double* obslik, double* out, double* w, double* X, double* work)
{
    TallyKernels kernels{};
    if (K < 1 || T < 2) return;
    if (!work || !kernelsFor(unit, &kernels)) {
        tallyTransitionsInPlace(K, T, alpha, beta, A, obslik, out, w, X);
        return;
    }
    const std::size_t states = static_cast<std::size_t>(K);
    const std::size_t steps = static_cast<std::size_t>(T) - 1;
    const int parts = threads > 1 ? threads : 1;
    const std::size_t atOnce = kernels.stepsSummedAtOnce();
    if (parts == 1) {
        kernels.sumsAndQuotients(states, steps, alpha, beta, A, obslik, work, out);
        return;
    }
    double* sums = work;
    double* side = work + steps;

    // The sums, split by groups of steps summed at once.
    const std::size_t groups = (steps + atOnce - 1) / atOnce;
    runParts(parts, parts, [&](int part) {
        double* mine = side + static_cast<std::size_t>(part) * 2 * atOnce * states;
        const std::size_t end = partStart(groups, part + 1, parts);
        for (std::size_t g = partStart(groups, part, parts); g < end; ++g) {
            const std::size_t first = g * atOnce;
            const std::size_t count = steps - first < atOnce ? steps - first : atOnce;
            kernels.stepSums(states, first, count, alpha, beta, A, obslik, sums + first, mine);
        }
    });
    // The quotients, split by columns of out.
    runParts(parts, parts, [&](int part) {
        kernels.addQuotients(states, steps, alpha, beta, A, obslik, sums,
                             partStart(states, part, parts), partStart(states, part + 1, parts),
                             out);
    });
}

void tallyTransitionsInPlace(std::int32_t K, std::int32_t T, const double* alpha,
                             const double* beta, const double* A, const double* obslik, double* out,
                             double* w, double* X)
{
    if (K < 1 || T < 2) return;
    const auto states = static_cast<std::size_t>(K);
    const std::size_t last = static_cast<std::size_t>(T) - 2;
    transposeSquareInPlace(out, states);

    arrivalWeights(w, beta + (last + 1) * states, obslik + (last + 1) * states, states);
    double pendingSum = fillTable(X, A, alpha + last * states, w, states);
    for (std::size_t t = last; t-- > 0;) {
        arrivalWeights(w, beta + (t + 1) * states, obslik + (t + 1) * states, states);
        pendingSum = foldAndFillTable(out, X, pendingSum, A, alpha + t * states, w, states);
    }
    addNormalised(out, X, pendingSum, states * states);

    transposeSquareInPlace(out, states);
}
