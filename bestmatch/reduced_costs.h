#pragma once
// The row-reduced starting costs, written into the working costs column by
// column when the machine first reads a column, instead of all at once
// before the run. A run whose answer lies among the reduction's zeros
// (integer costs with many ties) then never writes the matrix, nor faults
// its pages in. Every value is the difference the reduction writes,
// costs[i, j] - least[i], so the machine sees the same bits either way.

#include <cstddef>
#include <cstdint>

#include "column_passes.h"

struct ReducedCosts {
    const double* costs;    // the caller's costs, column-major; null once every column is written
    const double* least;    // M: each row's least cost
    unsigned char* written; // N: 1 once the working costs hold the column
    std::int32_t* scratch;  // M: the zero rows a written column reports, unused
    std::int32_t unwritten; // columns not yet written
    std::int32_t M;
    std::int32_t N;
};

// Every column still to be written from costs and least; false, with nothing
// held, when the memory cannot be had.
bool obtainreducedcosts(ReducedCosts* reduced, const double* costs, const double* least,
                        std::int32_t M, std::int32_t N);
void releasereducedcosts(ReducedCosts* reduced);

// Column j of the working costs, written first when it was not.
const double* reducedcolumn(ReducedCosts* reduced, double* workCost, std::int32_t j,
                            const ColumnPasses& passes);

// Element (i, j) of the reduced costs, written or not.
inline double reducedcost(const ReducedCosts& reduced, const double* workCost, std::int32_t i,
                          std::int32_t j)
{
    const std::size_t at = static_cast<std::size_t>(i) +
                           static_cast<std::size_t>(j) * static_cast<std::size_t>(reduced.M);
    if (reduced.costs && !reduced.written[j]) return reduced.costs[at] - reduced.least[i];
    return workCost[at];
}

// Writes every column not yet written: the working costs are then complete.
void writereducedcosts(ReducedCosts* reduced, double* workCost, const ColumnPasses& passes);
