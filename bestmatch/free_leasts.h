#pragma once
// Each row's least starting costs over the columns without a star.
//
// The columns without a star are uncovered in every shift, so all of a row's
// elements in them have gone through the same operations since the run
// started: the same sequence of rounded subtractions (and, while the row was
// covered, additions), each of them monotone. So their order by starting cost
// is their order by working cost (equal working costs may come from unequal
// starting costs), and the row's least working cost over these columns lies
// in the column of its least starting cost. The row keeps its kFreeLeasts
// least starting costs with their columns, and a floor below which no other
// such column's starting cost lies. A column that gains a star leaves the
// entries of the rows that held it; a row without entries left is scanned
// again.

#include <cstddef>
#include <cstdint>

#include "column_passes.h"

inline constexpr std::int32_t kFreeLeasts = 8;

struct FreeLeasts {
    double* key;          // kFreeLeasts * M: entry k of row i at i * kFreeLeasts + k, ascending
    std::int32_t* column; // the same layout
    std::int32_t* count;  // M: entries in use
    double* least;        // M: each row's first entry (+Inf without one), side by side
    double* last;         // M: its last entry (+Inf while it has room), side by side
    double* floor;        // M: every other free column's starting cost is at least this,
                          // and every entry at most
    std::int32_t* rows;   // M: scratch
    std::int32_t* order;  // N: scratch, the free columns in the order a build takes them
    double* sample;       // N: scratch
    std::int32_t M;
};

bool obtainfreeleasts(FreeLeasts* leasts, std::int32_t M, std::int32_t N);
void releasefreeleasts(FreeLeasts* leasts);

// Every row's entries and floor from scratch, over the columns listed in
// freeColumns; start is the M-by-N matrix of starting costs. One pass down
// each column, with the vector unit's passes; the columns are taken in the
// order of their costs in a few rows, so that where rows rank the columns
// alike the first columns fill the entries and the others only lower floors.
void buildfreeleasts(FreeLeasts* leasts, const double* start, const std::int32_t* freeColumns,
                     std::int32_t freeCount, const ColumnPasses& passes);

// Row i's entries and floor again, over the columns listed in freeColumns.
void rescanfreeleasts(FreeLeasts* leasts, std::int32_t i, const double* start,
                      const std::int32_t* freeColumns, std::int32_t freeCount);

// Column j has gained a star: it leaves every row's entries. Rows whose least
// changed go to changedRows (ascending; their number is returned), and rows
// left without entries are scanned again: one by one across the row when
// they are few, all rows column by column when they are many.
std::int32_t dropfreecolumn(FreeLeasts* leasts, std::int32_t j, const double* start,
                            const std::int32_t* freeColumns, std::int32_t freeCount,
                            const ColumnPasses& passes, std::int32_t* changedRows);

// Where entry k of row i lies in key and column.
inline std::size_t freeentry(std::int32_t i, std::int32_t k)
{
    return static_cast<std::size_t>(i) * kFreeLeasts + static_cast<std::size_t>(k);
}

// Row i's least starting cost over the free columns (+Inf when there is none).
inline double freeleast(const FreeLeasts& leasts, std::int32_t i) { return leasts.least[i]; }
