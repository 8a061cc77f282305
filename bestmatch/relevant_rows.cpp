#include "relevant_rows.h"

#include <cstring>

#include "work_memory.h"

namespace
{

std::uint64_t logend(const RelevantRows& relevant)
{
    return relevant.logStart + relevant.logLength;
}

// Forgets every list: each is made anew by a full pass when next needed.
void newgeneration(RelevantRows* relevant)
{
    ++relevant->current;
    relevant->logStart += relevant->logLength;
    relevant->logLength = 0;
}

// Copies every list of this generation into a pool with room for `extra`
// more entries; false, keeping the old pool, when none is had.
bool compact(RelevantRows* relevant, std::size_t extra)
{
    std::size_t live = 0;
    for (std::int32_t s = 0; s < relevant->N; ++s) {
        if (relevant->generation[s] == relevant->current)
            live += static_cast<std::size_t>(relevant->count[s]);
    }
    const std::size_t capacity = 2 * (live + extra) + 1024;
    auto* pool = static_cast<std::int32_t*>(workAllocate(capacity * sizeof(std::int32_t)));
    auto* costs = static_cast<double*>(workAllocate(capacity * sizeof(double)));
    if (!pool || !costs) {
        workRelease(pool);
        workRelease(costs);
        return false;
    }
    std::size_t used = 0;
    for (std::int32_t s = 0; s < relevant->N; ++s) {
        if (relevant->generation[s] != relevant->current) {
            relevant->count[s] = relevant->room[s] = 0; // a stale list keeps no stretch
            continue;
        }
        const auto count = static_cast<std::size_t>(relevant->count[s]);
        if (count > 0) {
            std::memcpy(pool + used, relevant->pool + relevant->begin[s],
                        count * sizeof(std::int32_t));
            std::memcpy(costs + used, relevant->costs + relevant->begin[s], count * sizeof(double));
        }
        relevant->begin[s] = used;
        relevant->room[s] = relevant->count[s];
        used += count;
    }
    workRelease(relevant->pool);
    workRelease(relevant->costs);
    relevant->pool = pool;
    relevant->costs = costs;
    relevant->capacity = capacity;
    relevant->used = used;
    return true;
}

// Room in column s's stretch for `needed` entries, keeping those it holds.
bool reserve(RelevantRows* relevant, std::int32_t s, std::int32_t needed)
{
    if (needed <= relevant->room[s]) return true;
    const std::size_t wanted = 2 * static_cast<std::size_t>(needed) + 8;
    if (relevant->capacity - relevant->used < wanted && !compact(relevant, wanted)) return false;
    const auto count = static_cast<std::size_t>(relevant->count[s]);
    if (count > 0) {
        std::memmove(relevant->pool + relevant->used, relevant->pool + relevant->begin[s],
                     count * sizeof(std::int32_t));
        std::memmove(relevant->costs + relevant->used, relevant->costs + relevant->begin[s],
                     count * sizeof(double));
    }
    relevant->begin[s] = relevant->used;
    relevant->room[s] = static_cast<std::int32_t>(wanted);
    relevant->used += wanted;
    return true;
}

} // namespace

std::int32_t longestrelevantlist(const RelevantRows& relevant)
{
    const std::int32_t longest = relevant.M / 4 + 16;
    return longest < relevant.M ? longest : relevant.M;
}

bool obtainrelevantrows(RelevantRows* relevant, std::int32_t M, std::int32_t N)
{
    *relevant = RelevantRows{};
    relevant->M = M;
    relevant->N = N;
    const auto rows = static_cast<std::size_t>(M);
    const auto columns = static_cast<std::size_t>(N);
    relevant->capacity = 4 * (rows + columns) + 1024;
    relevant->pool =
        static_cast<std::int32_t*>(workAllocate(relevant->capacity * sizeof(std::int32_t)));
    relevant->costs = static_cast<double*>(workAllocate(relevant->capacity * sizeof(double)));
    relevant->begin = static_cast<std::size_t*>(workAllocateZeroed(columns, sizeof(std::size_t)));
    relevant->count = static_cast<std::int32_t*>(workAllocateZeroed(columns, sizeof(std::int32_t)));
    relevant->room = static_cast<std::int32_t*>(workAllocateZeroed(columns, sizeof(std::int32_t)));
    relevant->upToDate =
        static_cast<std::uint64_t*>(workAllocateZeroed(columns, sizeof(std::uint64_t)));
    relevant->generation =
        static_cast<std::uint32_t*>(workAllocateZeroed(columns, sizeof(std::uint32_t)));
    relevant->shift = static_cast<double*>(workAllocateZeroed(columns, sizeof(double)));
    relevant->refused = static_cast<unsigned char*>(workAllocateZeroed(columns, 1));
    relevant->logCapacity = 4 * (rows + columns) + 1024;
    relevant->log =
        static_cast<std::int32_t*>(workAllocate(relevant->logCapacity * sizeof(std::int32_t)));
    relevant->logFrom = static_cast<double*>(workAllocate(relevant->logCapacity * sizeof(double)));
    relevant->logTo = static_cast<double*>(workAllocate(relevant->logCapacity * sizeof(double)));
    relevant->threshold = static_cast<double*>(workAllocate(rows * sizeof(double)));
    relevant->current = 1; // every list is stale until made
    const bool obtained = relevant->pool && relevant->costs && relevant->begin && relevant->count &&
                          relevant->room && relevant->upToDate && relevant->generation &&
                          relevant->shift && relevant->refused && relevant->log &&
                          relevant->logFrom && relevant->logTo && relevant->threshold;
    if (!obtained) releaserelevantrows(relevant);
    return obtained;
}

void releaserelevantrows(RelevantRows* relevant)
{
    workRelease(relevant->pool);
    workRelease(relevant->costs);
    workRelease(relevant->begin);
    workRelease(relevant->count);
    workRelease(relevant->room);
    workRelease(relevant->upToDate);
    workRelease(relevant->generation);
    workRelease(relevant->shift);
    workRelease(relevant->refused);
    workRelease(relevant->log);
    workRelease(relevant->logFrom);
    workRelease(relevant->logTo);
    workRelease(relevant->threshold);
    *relevant = RelevantRows{};
}

void setrelevancemargin(RelevantRows* relevant, const double* leasts, double margin)
{
    relevant->margin = margin;
    for (std::int32_t i = 0; i < relevant->M; ++i) relevant->threshold[i] = leasts[i] + margin;
    newgeneration(relevant);
}

void logrisenthresholds(RelevantRows* relevant, const std::int32_t* rows, std::int32_t count,
                        const double* leasts)
{
    const bool logged =
        relevant->logCapacity - relevant->logLength >= static_cast<std::size_t>(count);
    for (std::int32_t k = 0; k < count; ++k) {
        const std::int32_t i = rows[k];
        const double risen = leasts[i] + relevant->margin;
        if (logged) {
            relevant->log[relevant->logLength] = i;
            relevant->logFrom[relevant->logLength] = relevant->threshold[i];
            relevant->logTo[relevant->logLength] = risen;
            ++relevant->logLength;
        }
        relevant->threshold[i] = risen;
    }
    if (!logged) newgeneration(relevant); // cheaper to remake the lists than to keep the log
}

bool relevantlistusable(const RelevantRows& relevant, std::int32_t s)
{
    if (relevant.generation[s] != relevant.current || relevant.upToDate[s] < relevant.logStart) {
        return false;
    }
    const std::uint64_t pending = logend(relevant) - relevant.upToDate[s];
    return static_cast<std::uint64_t>(relevant.count[s]) + pending <=
           static_cast<std::uint64_t>(longestrelevantlist(relevant));
}

void prefetchrelevantrows(const RelevantRows& relevant, std::int32_t s, const double* column)
{
    for (std::uint64_t next = relevant.upToDate[s]; next < logend(relevant); ++next) {
        __builtin_prefetch(column + relevant.log[next - relevant.logStart]);
    }
}

bool updaterelevantlist(RelevantRows* relevant, std::int32_t s, const double* column,
                        const std::int32_t** rows, const double** costs, std::int32_t* count)
{
    const std::uint64_t end = logend(*relevant);
    // A row joins at the rise that took its threshold past its cost here:
    // below the old threshold it was listed already (by the list or by an
    // earlier rise), above the new one it is not yet relevant.
    for (std::uint64_t next = relevant->upToDate[s]; next < end; ++next) {
        const std::size_t logged = static_cast<std::size_t>(next - relevant->logStart);
        const std::int32_t i = relevant->log[logged];
        const double cost = column[i];
        const double shifted = cost + relevant->shift[s];
        if (!(relevant->logFrom[logged] < shifted && shifted <= relevant->logTo[logged])) continue;
        if (!reserve(relevant, s, relevant->count[s] + 1)) {
            relevant->generation[s] = relevant->current - 1;
            return false;
        }
        const std::size_t at = relevant->begin[s] + static_cast<std::size_t>(relevant->count[s]++);
        relevant->pool[at] = i;
        relevant->costs[at] = cost;
    }
    relevant->upToDate[s] = end;
    *rows = relevant->pool + relevant->begin[s];
    *costs = relevant->costs + relevant->begin[s];
    *count = relevant->count[s];
    return true;
}

bool makerelevantlist(RelevantRows* relevant, std::int32_t s, double shift,
                      const std::int32_t* rows, std::int32_t count, const double* column)
{
    relevant->generation[s] = relevant->current - 1; // stale unless made
    relevant->count[s] = 0;
    if (relevant->refused[s]) return false;
    if (count > longestrelevantlist(*relevant) || !reserve(relevant, s, count)) {
        relevant->refused[s] = 1;
        return false;
    }
    const std::size_t at = relevant->begin[s];
    std::memcpy(relevant->pool + at, rows, static_cast<std::size_t>(count) * sizeof(std::int32_t));
    for (std::int32_t k = 0; k < count; ++k)
        relevant->costs[at + static_cast<std::size_t>(k)] = column[rows[k]];
    relevant->count[s] = count;
    relevant->shift[s] = shift;
    relevant->upToDate[s] = logend(*relevant);
    relevant->generation[s] = relevant->current;
    return true;
}

bool relevantlistrefused(const RelevantRows& relevant, std::int32_t s)
{
    return relevant.refused[s] != 0;
}
