#include "shift_history.h"

#include <cstring>

#include "work_memory.h"

namespace
{

// Moves count elements of elementSize bytes into a block of twice the
// capacity (at least `least`); false, keeping the old block, when none is had.
bool grow(void** block, std::uint64_t count, std::uint64_t* capacity, std::size_t elementSize,
          std::uint64_t least)
{
    const std::uint64_t wanted = *capacity > least / 2 ? 2 * *capacity : least;
    if (wanted > SIZE_MAX / elementSize) return false;
    void* larger = workAllocate(static_cast<std::size_t>(wanted) * elementSize);
    if (!larger) return false;
    if (count > 0) std::memcpy(larger, *block, static_cast<std::size_t>(count) * elementSize);
    workRelease(*block);
    *block = larger;
    *capacity = wanted;
    return true;
}

std::size_t slotof(std::uint64_t key, std::size_t capacity)
{
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> 17) & (capacity - 1);
}

std::uint64_t elementkey(const ShiftHistory& history, std::int32_t i, std::int32_t j)
{
    return static_cast<std::uint64_t>(i) +
           static_cast<std::uint64_t>(j) * static_cast<std::uint64_t>(history.M) + 1;
}

// The slot holding key, or the free slot where it would go.
std::size_t findslot(const ShiftHistory& history, std::uint64_t key)
{
    std::size_t slot = slotof(key, history.knownCapacity);
    while (history.knownElement[slot] != 0 && history.knownElement[slot] != key) {
        slot = (slot + 1) & (history.knownCapacity - 1);
    }
    return slot;
}

// Doubles the store of known values (kept at most half full); false, keeping
// the old store, when the memory cannot be had.
bool growknown(ShiftHistory* history)
{
    const std::size_t capacity = history->knownCapacity ? 2 * history->knownCapacity : 1024;
    auto* elements =
        static_cast<std::uint64_t*>(workAllocateZeroed(capacity, sizeof(std::uint64_t)));
    auto* values = static_cast<double*>(workAllocate(capacity * sizeof(double)));
    auto* stamps = static_cast<std::uint64_t*>(workAllocate(capacity * sizeof(std::uint64_t)));
    if (!elements || !values || !stamps) {
        workRelease(elements);
        workRelease(values);
        workRelease(stamps);
        return false;
    }
    ShiftHistory old = *history;
    history->knownElement = elements;
    history->knownValue = values;
    history->knownStamp = stamps;
    history->knownCapacity = capacity;
    for (std::size_t k = 0; k < old.knownCapacity; ++k) {
        if (old.knownElement[k] == 0) continue;
        const std::size_t slot = findslot(*history, old.knownElement[k]);
        elements[slot] = old.knownElement[k];
        values[slot] = old.knownValue[k];
        stamps[slot] = old.knownStamp[k];
    }
    workRelease(old.knownElement);
    workRelease(old.knownValue);
    workRelease(old.knownStamp);
    return true;
}

void remembervalue(ShiftHistory* history, std::uint64_t key, double value)
{
    if (2 * (history->knownCount + 1) > history->knownCapacity && !growknown(history)) return;
    const std::size_t slot = findslot(*history, key);
    if (history->knownElement[slot] == 0) {
        history->knownElement[slot] = key;
        ++history->knownCount;
    }
    history->knownValue[slot] = value;
    history->knownStamp[slot] = history->shiftCount;
}

// The first span of `line` that still includes shift `from` or a later one,
// found from its newest span back: the shifts asked about are mostly recent.
std::int32_t firstspanfrom(const ShiftHistory& history, std::int32_t line, std::uint64_t from)
{
    std::int32_t span = history.lastSpan[line];
    if (span < 0 || history.spans[span].end <= from) return -1;
    for (;;) {
        const std::int32_t previous = history.spans[span].previous;
        if (previous < 0 || history.spans[previous].end <= from) return span;
        span = previous;
    }
}

// The first span of a line from `span` on that still includes shift `from`
// or a later one.
std::int32_t spanfrom(const ShiftHistory& history, std::int32_t span, std::uint64_t from)
{
    while (span >= 0 && history.spans[span].end <= from) span = history.spans[span].next;
    return span;
}

} // namespace

bool obtainhistory(ShiftHistory* history, std::int32_t M, std::int32_t N)
{
    *history = ShiftHistory{};
    history->M = M;
    const std::size_t lines = static_cast<std::size_t>(M) + static_cast<std::size_t>(N);
    history->lastSpan = static_cast<std::int32_t*>(workAllocate(lines * sizeof(std::int32_t)));
    if (!history->lastSpan) return false;
    for (std::size_t k = 0; k < lines; ++k) history->lastSpan[k] = -1;
    return true;
}

void releasehistory(ShiftHistory* history)
{
    workRelease(history->shifts);
    workRelease(history->spans);
    workRelease(history->lastSpan);
    workRelease(history->knownElement);
    workRelease(history->knownValue);
    workRelease(history->knownStamp);
    *history = ShiftHistory{};
}

bool recordshift(ShiftHistory* history, double h)
{
    if (history->shiftCount == history->shiftCapacity) {
        void* block = history->shifts;
        if (!grow(&block, history->shiftCount, &history->shiftCapacity, sizeof(double), 256)) {
            return false;
        }
        history->shifts = static_cast<double*>(block);
    }
    history->shifts[history->shiftCount++] = h;
    return true;
}

bool beginspan(ShiftHistory* history, std::int32_t line)
{
    const std::int32_t last = history->lastSpan[line];
    if (last >= 0 && history->spans[last].end == history->shiftCount) {
        history->spans[last].end = kSpanOpen; // no shift since it ended: go on with it
        return true;
    }
    if (history->spanCount == history->spanCapacity) {
        if (history->spanCapacity == INT32_MAX) return false;
        void* block = history->spans;
        auto capacity = static_cast<std::uint64_t>(history->spanCapacity);
        const auto count = static_cast<std::uint64_t>(history->spanCount);
        if (!grow(&block, count, &capacity, sizeof(ShiftSpan), 256)) return false;
        history->spans = static_cast<ShiftSpan*>(block);
        history->spanCapacity =
            capacity > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(capacity);
    }
    const std::int32_t span = history->spanCount++;
    history->spans[span] = ShiftSpan{history->shiftCount, kSpanOpen, -1, last};
    if (last >= 0) history->spans[last].next = span;
    history->lastSpan[line] = span;
    return true;
}

void endspan(ShiftHistory* history, std::int32_t line)
{
    const std::int32_t last = history->lastSpan[line];
    if (last >= 0 && history->spans[last].end == kSpanOpen) {
        history->spans[last].end = history->shiftCount;
    }
}

// Walks the shifts in order, in stretches where the row's and the column's
// part does not change, and applies to the value what the element-by-element
// machine applies to an element of that row and column.
double replayedworkcost(const ShiftHistory& history, std::int32_t i, std::int32_t j, double start,
                        std::uint64_t* operations)
{
    const std::uint64_t key = elementkey(history, i, j);
    double value = start;
    std::uint64_t from = 0;
    if (history.knownCapacity) {
        const std::size_t slot = findslot(history, key);
        if (history.knownElement[slot] == key) {
            value = history.knownValue[slot];
            from = history.knownStamp[slot];
        }
    }
    const std::uint64_t to = history.shiftCount;
    if (from == to) return value;
    std::int32_t rowSpan = firstspanfrom(history, i, from);
    std::int32_t columnSpan = firstspanfrom(history, history.M + j, from);
    const double* h = history.shifts;
    for (std::uint64_t s = from; s < to;) {
        const bool rowCovered = rowSpan >= 0 && history.spans[rowSpan].begin <= s;
        const bool columnUncovered = columnSpan >= 0 && history.spans[columnSpan].begin <= s;
        std::uint64_t until = to;
        if (rowSpan >= 0) {
            const ShiftSpan& span = history.spans[rowSpan];
            const std::uint64_t change = rowCovered ? span.end : span.begin;
            if (change < until) until = change;
        }
        if (columnSpan >= 0) {
            const ShiftSpan& span = history.spans[columnSpan];
            const std::uint64_t change = columnUncovered ? span.end : span.begin;
            if (change < until) until = change;
        }
        if (rowCovered && columnUncovered) {
            for (std::uint64_t t = s; t < until; ++t) value = (value + h[t]) - h[t];
        } else if (rowCovered) {
            for (std::uint64_t t = s; t < until; ++t) value = value + h[t];
        } else if (columnUncovered) {
            for (std::uint64_t t = s; t < until; ++t) value = value - h[t];
        }
        if (rowCovered || columnUncovered) *operations += until - s;
        s = until;
        rowSpan = spanfrom(history, rowSpan, s);
        columnSpan = spanfrom(history, columnSpan, s);
    }
    return value;
}

double exactworkcost(ShiftHistory* history, std::int32_t i, std::int32_t j, double start)
{
    const double value = replayedworkcost(*history, i, j, start, &history->replayedOperations);
    remembervalue(history, elementkey(*history, i, j), value);
    return value;
}

void rememberworkcost(ShiftHistory* history, std::int32_t i, std::int32_t j, double value)
{
    remembervalue(history, elementkey(*history, i, j), value);
}
