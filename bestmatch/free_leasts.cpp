#include "free_leasts.h"

#include <algorithm>

#include <cstddef>
#include <limits>

#include "work_memory.h"

namespace
{

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The side-by-side copies of row i's first and last entries.
void mirror(FreeLeasts* leasts, std::int32_t i)
{
    leasts->least[i] = leasts->key[freeentry(i, 0)];
    leasts->last[i] = leasts->key[freeentry(i, kFreeLeasts - 1)];
}

void clearrow(FreeLeasts* leasts, std::int32_t i)
{
    for (std::int32_t k = 0; k < kFreeLeasts; ++k) {
        leasts->key[freeentry(i, k)] = kInfinity;
        leasts->column[freeentry(i, k)] = -1;
    }
    leasts->count[i] = 0;
    leasts->floor[i] = kInfinity;
    mirror(leasts, i);
}

// Offers row i the starting cost `value` of free column j: it takes an entry
// if it is among the least, and what falls out lowers the floor.
void offer(FreeLeasts* leasts, std::int32_t i, double value, std::int32_t j)
{
    const std::int32_t count = leasts->count[i];
    if (count == kFreeLeasts && !(value < leasts->key[freeentry(i, kFreeLeasts - 1)])) {
        if (value < leasts->floor[i]) leasts->floor[i] = value;
        return;
    }
    std::int32_t k = count;
    if (count == kFreeLeasts) {
        const double dropped = leasts->key[freeentry(i, kFreeLeasts - 1)];
        if (dropped < leasts->floor[i]) leasts->floor[i] = dropped;
        k = kFreeLeasts - 1;
    } else {
        leasts->count[i] = count + 1;
    }
    for (; k > 0 && value < leasts->key[freeentry(i, k - 1)]; --k) {
        leasts->key[freeentry(i, k)] = leasts->key[freeentry(i, k - 1)];
        leasts->column[freeentry(i, k)] = leasts->column[freeentry(i, k - 1)];
    }
    leasts->key[freeentry(i, k)] = value;
    leasts->column[freeentry(i, k)] = j;
    mirror(leasts, i);
}

} // namespace

bool obtainfreeleasts(FreeLeasts* leasts, std::int32_t M, std::int32_t N)
{
    *leasts = FreeLeasts{};
    leasts->M = M;
    const std::size_t entries = static_cast<std::size_t>(kFreeLeasts) * static_cast<std::size_t>(M);
    leasts->key = static_cast<double*>(workAllocate(entries * sizeof(double)));
    leasts->column = static_cast<std::int32_t*>(workAllocate(entries * sizeof(std::int32_t)));
    leasts->count = static_cast<std::int32_t*>(
        workAllocateZeroed(static_cast<std::size_t>(M), sizeof(std::int32_t)));
    leasts->least =
        static_cast<double*>(workAllocate(static_cast<std::size_t>(M) * sizeof(double)));
    leasts->last = static_cast<double*>(workAllocate(static_cast<std::size_t>(M) * sizeof(double)));
    leasts->floor =
        static_cast<double*>(workAllocate(static_cast<std::size_t>(M) * sizeof(double)));
    leasts->order = static_cast<std::int32_t*>(
        workAllocate(static_cast<std::size_t>(N) * sizeof(std::int32_t)));
    leasts->sample =
        static_cast<double*>(workAllocate(static_cast<std::size_t>(N) * sizeof(double)));
    leasts->rows = static_cast<std::int32_t*>(
        workAllocate(static_cast<std::size_t>(M) * sizeof(std::int32_t)));
    const bool obtained = leasts->key && leasts->column && leasts->count && leasts->least &&
                          leasts->last && leasts->floor && leasts->order && leasts->sample &&
                          leasts->rows;
    if (!obtained) releasefreeleasts(leasts);
    return obtained;
}

void releasefreeleasts(FreeLeasts* leasts)
{
    workRelease(leasts->key);
    workRelease(leasts->column);
    workRelease(leasts->count);
    workRelease(leasts->least);
    workRelease(leasts->last);
    workRelease(leasts->floor);
    workRelease(leasts->rows);
    workRelease(leasts->order);
    workRelease(leasts->sample);
    *leasts = FreeLeasts{};
}

void buildfreeleasts(FreeLeasts* leasts, const double* start, const std::int32_t* freeColumns,
                     std::int32_t freeCount, const ColumnPasses& passes)
{
    const std::int32_t M = leasts->M;
    for (std::int32_t i = 0; i < M; ++i) clearrow(leasts, i);
    // Only a value below a row's last entry (+Inf while the row has room)
    // takes an entry; the others only lower the floor, in the vector pass.
    const double* last = leasts->last;
    const auto rows = static_cast<std::size_t>(M);
    for (std::int32_t k = 0; k < freeCount; ++k) {
        const std::int32_t j = freeColumns[k];
        const double* column = start + static_cast<std::size_t>(j) * rows;
        leasts->order[k] = j;
        leasts->sample[j] =
            rows > 0 ? column[0] + column[rows / 3] + column[2 * rows / 3] + column[rows - 1] : 0.0;
    }
    const double* sample = leasts->sample;
    std::sort(leasts->order, leasts->order + freeCount,
              [sample](std::int32_t a, std::int32_t b) { return sample[a] < sample[b]; });
    for (std::int32_t k = 0; k < freeCount; ++k) {
        const std::int32_t j = leasts->order[k];
        const double* column = start + static_cast<std::size_t>(j) * static_cast<std::size_t>(M);
        const std::int32_t below = passes.rowsbelow(column, last, leasts->floor, M, leasts->rows);
        for (std::int32_t r = 0; r < below; ++r) {
            const std::int32_t i = leasts->rows[r];
            offer(leasts, i, column[i], j);
        }
    }
}

void rescanfreeleasts(FreeLeasts* leasts, std::int32_t i, const double* start,
                      const std::int32_t* freeColumns, std::int32_t freeCount)
{
    clearrow(leasts, i);
    const auto M = static_cast<std::size_t>(leasts->M);
    for (std::int32_t k = 0; k < freeCount; ++k) {
        const std::int32_t j = freeColumns[k];
        offer(leasts, i, start[static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * M], j);
    }
}

std::int32_t dropfreecolumn(FreeLeasts* leasts, std::int32_t j, const double* start,
                            const std::int32_t* freeColumns, std::int32_t freeCount,
                            const ColumnPasses& passes, std::int32_t* changedRows)
{
    // A row's entries lie at or below its floor, so only the rows whose cost
    // in column j does are looked at (one vector pass down the column); the
    // rows emptied are gathered at the front of the same list.
    const double* column =
        start + static_cast<std::size_t>(j) * static_cast<std::size_t>(leasts->M);
    const std::int32_t candidates =
        passes.rowsatmost(column, 0.0, leasts->floor, leasts->M, leasts->rows);
    std::int32_t changed = 0;
    std::int32_t emptied = 0;
    for (std::int32_t r = 0; r < candidates; ++r) {
        const std::int32_t i = leasts->rows[r];
        const std::int32_t count = leasts->count[i];
        std::int32_t k = 0;
        while (k < count && leasts->column[freeentry(i, k)] != j) ++k;
        if (k == count) continue;
        if (k == 0) changedRows[changed++] = i;
        for (; k + 1 < count; ++k) {
            leasts->key[freeentry(i, k)] = leasts->key[freeentry(i, k + 1)];
            leasts->column[freeentry(i, k)] = leasts->column[freeentry(i, k + 1)];
        }
        leasts->key[freeentry(i, count - 1)] = kInfinity;
        leasts->column[freeentry(i, count - 1)] = -1;
        leasts->count[i] = count - 1;
        mirror(leasts, i);
        if (count == 1) leasts->rows[emptied++] = i;
    }
    // A row scanned across costs a cache miss an element; column by column
    // the scan streams, and pays when a good share of the rows needs it.
    if (emptied > leasts->M / 16) {
        buildfreeleasts(leasts, start, freeColumns, freeCount, passes);
    } else {
        for (std::int32_t r = 0; r < emptied; ++r) {
            rescanfreeleasts(leasts, leasts->rows[r], start, freeColumns, freeCount);
        }
    }
    return changed;
}
