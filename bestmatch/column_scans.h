#pragma once
// The scans down one column that carry the cost of the step machine with
// deferred shifts, in one version per vector unit. Each element's value is
// start[i] + rowShift[i], one addition, the same in every lane and every
// unit; minima and comparisons are exact. So every version finds the same
// least and the same rows as the plain loops. A NaN row shift marks a
// covered row: it is never the least and never a candidate.

#include <cstdint>

#include "vector_unit.h"

// Rows a block of the zero-candidate scan holds.
inline constexpr std::int32_t kScanBlock = 16;

struct ColumnScans {
    // The least of start[i] + rowShift[i] over i < M, +Inf when no value is
    // below it.
    double (*leastRaised)(const double* start, const double* rowShift, std::int32_t M);

    // The first i >= from with start[i] + rowShift[i] == value, or M.
    std::int32_t (*firstRaisedEqual)(const double* start, const double* rowShift, std::int32_t from,
                                     std::int32_t M, double value);

    // The first block [i, i + kScanBlock) from `from` (in steps of
    // kScanBlock) that holds a row whose a = (start + rowShift) - columnShift
    // has |a| <= bound * (start + rowShift + columnShift), or the last,
    // shorter stretch: its first row i, or M. No row in [from, i) is one.
    std::int32_t (*firstCandidateBlock)(const double* start, const double* rowShift,
                                        std::int32_t from, std::int32_t M, double columnShift,
                                        double bound);
};

// The scans of unit, which must be available (vectorUnitAvailable), or the
// plain loops for VectorUnit::plain.
const ColumnScans& columnScans(VectorUnit unit);

// Whether row value start + rowShift is a zero candidate (see
// firstCandidateBlock); with a zero bound, whether it is zero exactly.
inline bool zerocandidate(double start, double rowShift, double columnShift, double bound)
{
    const double raised = start + rowShift;
    const double approximation = raised - columnShift;
    const double reach = bound * (raised + columnShift);
    return approximation <= reach && approximation >= -reach;
}
