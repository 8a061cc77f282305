#include "zero_lists.h"

#include <algorithm>

#include "work_memory.h"

namespace
{

std::size_t words(std::int32_t N) { return (static_cast<std::size_t>(N) + 63) / 64; }

void setbit(ZeroLists* lists, std::int32_t j)
{
    lists->bits[static_cast<std::size_t>(j) / 64] |= std::uint64_t{1} << (j % 64);
}

void clearbit(ZeroLists* lists, std::int32_t j)
{
    lists->bits[static_cast<std::size_t>(j) / 64] &= ~(std::uint64_t{1} << (j % 64));
}

} // namespace

bool obtainzerolists(ZeroLists* lists, std::int32_t N, std::size_t entries)
{
    *lists = ZeroLists{};
    lists->N = N;
    lists->open = -1;
    const auto columns = static_cast<std::size_t>(N);
    lists->capacity = entries;
    lists->pool = static_cast<std::int32_t*>(workAllocate(entries * sizeof(std::int32_t)));
    lists->begin = static_cast<std::size_t*>(workAllocate(columns * sizeof(std::size_t)));
    lists->count = static_cast<std::int32_t*>(workAllocateZeroed(columns, sizeof(std::int32_t)));
    lists->taken = static_cast<std::int32_t*>(workAllocateZeroed(columns, sizeof(std::int32_t)));
    lists->scanFrom = static_cast<std::int32_t*>(workAllocate(columns * sizeof(std::int32_t)));
    lists->truncated = static_cast<unsigned char*>(workAllocateZeroed(columns, 1));
    lists->bits = static_cast<std::uint64_t*>(workAllocateZeroed(words(N), sizeof(std::uint64_t)));
    lists->listed = static_cast<std::int32_t*>(workAllocate(columns * sizeof(std::int32_t)));
    const bool obtained = lists->pool && lists->begin && lists->count && lists->taken &&
                          lists->scanFrom && lists->truncated && lists->bits && lists->listed;
    if (!obtained) releasezerolists(lists);
    return obtained;
}

void releasezerolists(ZeroLists* lists)
{
    workRelease(lists->pool);
    workRelease(lists->begin);
    workRelease(lists->count);
    workRelease(lists->taken);
    workRelease(lists->scanFrom);
    workRelease(lists->truncated);
    workRelease(lists->bits);
    workRelease(lists->listed);
    *lists = ZeroLists{};
}

void clearzerolists(ZeroLists* lists)
{
    for (std::int32_t k = 0; k < lists->listedCount; ++k) {
        const std::int32_t j = lists->listed[k];
        lists->count[j] = 0;
        lists->taken[j] = 0;
        lists->truncated[j] = 0;
        clearbit(lists, j);
    }
    lists->listedCount = 0;
    lists->used = 0;
    lists->open = -1;
}

void openzerolist(ZeroLists* lists, std::int32_t j)
{
    lists->open = j;
    lists->begin[j] = lists->used;
    lists->count[j] = 0;
    lists->taken[j] = 0;
    lists->truncated[j] = 0;
    lists->listed[lists->listedCount++] = j;
}

void addzero(ZeroLists* lists, std::int32_t row)
{
    const std::int32_t j = lists->open;
    if (lists->truncated[j]) return;
    if (lists->used == lists->capacity) {
        // The rows past the last one kept are found by scanning the column.
        lists->truncated[j] = 1;
        lists->scanFrom[j] = row;
        return;
    }
    lists->pool[lists->used++] = row;
    ++lists->count[j];
}

void closezerolist(ZeroLists* lists)
{
    const std::int32_t j = lists->open;
    if (lists->count[j] > 0 || lists->truncated[j]) setbit(lists, j);
    lists->open = -1;
}

void openscannedzerolist(ZeroLists* lists, std::int32_t j, std::int32_t from)
{
    openzerolist(lists, j);
    lists->truncated[j] = 1;
    lists->scanFrom[j] = from;
    closezerolist(lists);
}

void addzeropairs(ZeroLists* lists, std::int32_t* pairs, std::size_t count)
{
    struct Pair {
        std::int32_t row, column;
    };
    auto* sorted = reinterpret_cast<Pair*>(pairs);
    std::sort(sorted, sorted + count, [](const Pair& a, const Pair& b) {
        return a.column != b.column ? a.column < b.column : a.row < b.row;
    });
    for (std::size_t k = 0; k < count; ++k) {
        if (k == 0 || sorted[k].column != sorted[k - 1].column) {
            if (k > 0) closezerolist(lists);
            openzerolist(lists, sorted[k].column);
        }
        if (k == 0 || sorted[k].row != sorted[k - 1].row ||
            sorted[k].column != sorted[k - 1].column)
            addzero(lists, sorted[k].row);
    }
    if (count > 0) closezerolist(lists);
}

std::int32_t nextzerocolumn(const ZeroLists& lists, std::int32_t from)
{
    if (from >= lists.N) return lists.N;
    std::size_t word = static_cast<std::size_t>(from) / 64;
    std::uint64_t bits = lists.bits[word] & (~std::uint64_t{0} << (from % 64));
    const std::size_t end = words(lists.N);
    while (bits == 0) {
        if (++word == end) return lists.N;
        bits = lists.bits[word];
    }
    return static_cast<std::int32_t>(word * 64 + static_cast<std::size_t>(__builtin_ctzll(bits)));
}

std::int32_t nextlistedzero(ZeroLists* lists, std::int32_t j, std::int32_t* scanFrom)
{
    if (lists->taken[j] < lists->count[j]) {
        return lists->pool[lists->begin[j] + static_cast<std::size_t>(lists->taken[j]++)];
    }
    if (lists->truncated[j]) {
        *scanFrom = lists->scanFrom[j];
        return -1;
    }
    clearbit(lists, j);
    *scanFrom = -1;
    return -1;
}

void scannedzero(ZeroLists* lists, std::int32_t j, std::int32_t row, std::int32_t M)
{
    if (row >= M) {
        clearbit(lists, j);
        lists->truncated[j] = 0;
        return;
    }
    lists->scanFrom[j] = row + 1;
}
