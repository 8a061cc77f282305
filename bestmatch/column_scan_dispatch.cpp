// The column scans of each vector unit, and the plain loops they must match.
#include <limits>

#include "column_scans.h"

#if defined(PLUGINS_HAVE_SSE2)
namespace unit_sse2
{
extern const ColumnScans kColumnScans;
}
#endif
#if defined(PLUGINS_HAVE_AVX2)
namespace unit_avx2
{
extern const ColumnScans kColumnScans;
}
#endif
#if defined(PLUGINS_HAVE_AVX512)
namespace unit_avx512
{
extern const ColumnScans kColumnScans;
}
#endif

namespace
{

double leastraisedplain(const double* start, const double* rowShift, std::int32_t M)
{
    double least = std::numeric_limits<double>::infinity();
    for (std::int32_t i = 0; i < M; ++i) {
        const double raised = start[i] + rowShift[i];
        least = raised < least ? raised : least;
    }
    return least;
}

std::int32_t firstraisedequalplain(const double* start, const double* rowShift, std::int32_t from,
                                   std::int32_t M, double value)
{
    for (std::int32_t i = from; i < M; ++i) {
        if (start[i] + rowShift[i] == value) return i;
    }
    return M;
}

std::int32_t firstcandidateblockplain(const double* start, const double* rowShift,
                                      std::int32_t from, std::int32_t M, double columnShift,
                                      double bound)
{
    for (std::int32_t i = from; i < M; ++i) {
        if (zerocandidate(start[i], rowShift[i], columnShift, bound)) {
            return from + (i - from) / kScanBlock * kScanBlock;
        }
    }
    return M;
}

constexpr ColumnScans kPlainScans{leastraisedplain, firstraisedequalplain,
                                  firstcandidateblockplain};

} // namespace

const ColumnScans& columnScans(VectorUnit unit)
{
    switch (unit) {
#if defined(PLUGINS_HAVE_SSE2)
    case VectorUnit::sse2:
        return unit_sse2::kColumnScans;
#endif
#if defined(PLUGINS_HAVE_AVX2)
    case VectorUnit::avx2:
        return unit_avx2::kColumnScans;
#endif
#if defined(PLUGINS_HAVE_AVX512)
    case VectorUnit::avx512:
        return unit_avx512::kColumnScans;
#endif
    default:
        return kPlainScans;
    }
}
