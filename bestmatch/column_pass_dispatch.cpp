// The column passes of each vector unit, and the plain loops they must match.
#include "column_passes.h"

#include <cmath>

#if defined(PLUGINS_HAVE_SSE2)
namespace unit_sse2
{
extern const ColumnPasses kColumnPasses;
}
#endif
#if defined(PLUGINS_HAVE_AVX2)
namespace unit_avx2
{
extern const ColumnPasses kColumnPasses;
}
#endif
#if defined(PLUGINS_HAVE_AVX512)
namespace unit_avx512
{
extern const ColumnPasses kColumnPasses;
}
#endif

std::int32_t leastandzerosplain(const double* column, const double* rowMask, std::int32_t M,
                                double* slack, std::int32_t* zeroRows)
{
    std::int32_t zeros = 0;
    for (std::int32_t i = 0; i < M; ++i) {
        const double value = column[i] + rowMask[i];
        if (value < slack[i]) slack[i] = value;
        if (value == 0.0) zeroRows[zeros++] = i;
    }
    return zeros;
}

std::int32_t shiftuncoveredplain(double* column, const double* addend, const double* rowMask,
                                 double h, std::int32_t M, double* slack, std::int32_t* zeroRows)
{
    std::int32_t zeros = 0;
    for (std::int32_t i = 0; i < M; ++i) {
        const double value = (column[i] + addend[i]) - h;
        column[i] = value;
        if (value < slack[i]) slack[i] = value;
        if (value + rowMask[i] == 0.0) zeroRows[zeros++] = i;
    }
    return zeros;
}

void shiftcoveredplain(double* column, const double* addend, std::int32_t M)
{
    for (std::int32_t i = 0; i < M; ++i) column[i] = column[i] + addend[i];
}

std::int32_t rowsatmostplain(const double* column, double shift, const double* threshold,
                             std::int32_t M, std::int32_t* rows)
{
    std::int32_t found = 0;
    for (std::int32_t i = 0; i < M; ++i) {
        if (column[i] + shift <= threshold[i]) rows[found++] = i;
    }
    return found;
}

void mergekeysplain(KeyMerge* merge)
{
    for (std::int32_t i = 0; i < merge->M; ++i) mergekeyrow(merge, i, merge->column[i]);
}

std::int32_t firstcandidateplain(const double* column, double shift, const double* rowMask,
                                 const double* rowShift, double total, double bound,
                                 std::int32_t from, std::int32_t M)
{
    for (std::int32_t i = from; i < M; ++i) {
        const double key = (column[i] + shift) + rowMask[i];
        if ((key + rowShift[i]) - total <= bound) return i;
    }
    return M;
}

bool copycostsplain(double* to, const double* from, std::size_t count, double* largest,
                    bool* notFinite, bool* nan)
{
    for (std::size_t k = 0; k < count; ++k) {
        const double v = from[k];
        if (std::isfinite(v)) {
            if (v < 0) return false;
            if (v > *largest) *largest = v;
        } else {
            *notFinite = true;
            if (std::isnan(v)) *nan = true;
        }
        if (to) to[k] = v;
    }
    return true;
}

void lowerleastplain(const double* column, std::int32_t M, double* least)
{
    for (std::int32_t i = 0; i < M; ++i) {
        if (least[i] > column[i]) least[i] = column[i];
    }
}

std::int32_t subtractleastplain(double* column, const double* from, const double* least,
                                std::int32_t M, std::int32_t* zeroRows)
{
    std::int32_t zeros = 0;
    for (std::int32_t i = 0; i < M; ++i) {
        column[i] = from[i] - least[i];
        if (column[i] == 0.0) zeroRows[zeros++] = i;
    }
    return zeros;
}

double leastvalueplain(const double* values, std::int32_t M)
{
    double least = __builtin_inf();
    for (std::int32_t i = 0; i < M; ++i) {
        if (values[i] < least) least = values[i];
    }
    return least;
}

std::int32_t rowsatmostvalueplain(const double* values, double threshold, std::int32_t M,
                                  std::int32_t* rows)
{
    std::int32_t found = 0;
    for (std::int32_t i = 0; i < M; ++i) {
        if (values[i] <= threshold) rows[found++] = i;
    }
    return found;
}

std::int32_t rowsbelowplain(const double* column, const double* limit, double* floor,
                            std::int32_t M, std::int32_t* rows)
{
    std::int32_t found = 0;
    for (std::int32_t i = 0; i < M; ++i) {
        if (column[i] < limit[i]) {
            rows[found++] = i;
        } else if (column[i] < floor[i]) {
            floor[i] = column[i];
        }
    }
    return found;
}

namespace
{
constexpr ColumnPasses kPlainPasses{leastandzerosplain, shiftuncoveredplain,  shiftcoveredplain,
                                    rowsatmostplain,    mergekeysplain,       firstcandidateplain,
                                    copycostsplain,     lowerleastplain,      subtractleastplain,
                                    leastvalueplain,    rowsatmostvalueplain, rowsbelowplain};
} // namespace

const ColumnPasses& columnPasses(VectorUnit unit)
{
    switch (unit) {
#if defined(PLUGINS_HAVE_SSE2)
    case VectorUnit::sse2:
        return unit_sse2::kColumnPasses;
#endif
#if defined(PLUGINS_HAVE_AVX2)
    case VectorUnit::avx2:
        return unit_avx2::kColumnPasses;
#endif
#if defined(PLUGINS_HAVE_AVX512)
    case VectorUnit::avx512:
        return unit_avx512::kColumnPasses;
#endif
    default:
        return kPlainPasses;
    }
}
