#include "reduced_costs.h"

#include <cstddef>

#include "work_memory.h"

namespace
{

std::size_t elementat(const ReducedCosts& reduced, std::int32_t i, std::int32_t j)
{
    return static_cast<std::size_t>(i) +
           static_cast<std::size_t>(j) * static_cast<std::size_t>(reduced.M);
}

} // namespace

bool obtainreducedcosts(ReducedCosts* reduced, const double* costs, const double* least,
                        std::int32_t M, std::int32_t N)
{
    *reduced = ReducedCosts{};
    reduced->written =
        static_cast<unsigned char*>(workAllocateZeroed(static_cast<std::size_t>(N), 1));
    reduced->scratch = static_cast<std::int32_t*>(
        workAllocate(static_cast<std::size_t>(M) * sizeof(std::int32_t)));
    if (!reduced->written || !reduced->scratch) {
        releasereducedcosts(reduced);
        return false;
    }
    reduced->costs = costs;
    reduced->least = least;
    reduced->unwritten = N;
    reduced->M = M;
    reduced->N = N;
    return true;
}

void releasereducedcosts(ReducedCosts* reduced)
{
    workRelease(reduced->written);
    workRelease(reduced->scratch);
    *reduced = ReducedCosts{};
}

const double* reducedcolumn(ReducedCosts* reduced, double* workCost, std::int32_t j,
                            const ColumnPasses& passes)
{
    const std::size_t offset = elementat(*reduced, 0, j);
    if (reduced->costs && !reduced->written[j]) {
        passes.subtractleast(workCost + offset, reduced->costs + offset, reduced->least, reduced->M,
                             reduced->scratch);
        reduced->written[j] = 1;
        if (--reduced->unwritten == 0) reduced->costs = nullptr;
    }
    return workCost + offset;
}

void writereducedcosts(ReducedCosts* reduced, double* workCost, const ColumnPasses& passes)
{
    for (std::int32_t j = 0; reduced->costs && j < reduced->N; ++j) {
        reducedcolumn(reduced, workCost, j, passes);
    }
}
