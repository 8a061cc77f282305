// The kernel table of each vector unit.
#include <cstdint>

#include "kernels.h"
#include "natural_log.h"
#include "vector_kernels.h"

#define DECLARE_UNIT(unit)                                                                         \
    namespace unit                                                                                 \
    {                                                                                              \
    void multiplyMatrix(double*, const double*, const double*, std::uint32_t);                     \
    bool sumPairwiseBlock(double*, const double*, const double*, const double*, std::uint32_t);    \
    void writePairwiseSlice(double*, const double*, const double*, const double*, double,          \
                            std::uint32_t);                                                        \
    bool pairwiseHasNegative(const double*, const double*, const double*, std::uint32_t);          \
    double normalize(double*, std::uint32_t, bool*);                                               \
    double forwardStep(double*, const double*, const double*, const double*, std::uint32_t,        \
                       bool*);                                                                     \
    void backwardStep(double*, double*, const double*, const double*, const double*,               \
                      std::uint32_t, bool*);                                                       \
    void smoothColumn(double*, const double*, const double*, std::uint32_t, bool*);                \
    bool anyBelowZero(const double*, std::uint32_t);                                               \
    void naturalLogs(double*, const double*, std::uint32_t);                                       \
    constexpr ChainKernels kernels{                                                                \
        multiplyMatrix, sumPairwiseBlock, writePairwiseSlice, pairwiseHasNegative, normalize,      \
        forwardStep,    backwardStep,     smoothColumn,       anyBelowZero,        naturalLogs};   \
    }

#if defined(PLUGINS_HAVE_SSE2)
DECLARE_UNIT(unit_sse2)
#endif
#if defined(PLUGINS_HAVE_AVX2)
DECLARE_UNIT(unit_avx2)
#endif
#if defined(PLUGINS_HAVE_AVX512)
DECLARE_UNIT(unit_avx512)
#endif

namespace
{

bool sumPairwiseBlockOfPlain(double* sums, const double* A, const double* alpha,
                             const double* weight, std::uint32_t n)
{
    return sumPairwiseBlockPlain(sums, A, alpha, weight, n, kStepsPerBlock);
}

void naturalLogsPlain(double* out, const double* x, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) out[i] = naturalLog(x[i]);
}

constexpr ChainKernels kPlainKernels{multiplyMatrixInPlace,   sumPairwiseBlockOfPlain,
                                     writePairwiseSlicePlain, pairwiseHasNegativePlain,
                                     normalizePlain,          forwardStepPlain,
                                     backwardStepPlain,       smoothColumnPlain,
                                     anyBelowZeroPlain,       naturalLogsPlain};

} // namespace

const ChainKernels& chainKernels(VectorUnit unit)
{
    switch (unit) {
#if defined(PLUGINS_HAVE_SSE2)
    case VectorUnit::sse2:
        return unit_sse2::kernels;
#endif
#if defined(PLUGINS_HAVE_AVX2)
    case VectorUnit::avx2:
        return unit_avx2::kernels;
#endif
#if defined(PLUGINS_HAVE_AVX512)
    case VectorUnit::avx512:
        return unit_avx512::kernels;
#endif
    default:
        return kPlainKernels;
    }
}
