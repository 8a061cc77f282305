#pragma once
// The record of a step machine run whose shifts are not applied to the
// working costs: every shift h in order and, for every row, the shifts during
// which it was covered, for every column the shifts during which it was
// uncovered. From it the exact working cost of any element is rebuilt by
// applying the very operations the element-by-element machine applies, in the
// same order, to its starting cost: x + h for a covered row, then x - h for an
// uncovered column.
//
// Shifts are numbered from 0 in the order they are made. Rows and columns are
// lines: row i is line i, column j is line M + j.

#include <cstddef>
#include <cstdint>

inline constexpr std::uint64_t kSpanOpen = UINT64_MAX;

// The shifts [begin, end) during which one line took part; end is kSpanOpen
// while it still does. next links the line's spans, oldest first.
struct ShiftSpan {
    std::uint64_t begin;
    std::uint64_t end;
    std::int32_t next;
    std::int32_t previous;
};

struct ShiftHistory {
    double* shifts; // h of every shift made
    std::uint64_t shiftCount;
    std::uint64_t shiftCapacity;
    ShiftSpan* spans;
    std::int32_t spanCount;
    std::int32_t spanCapacity;
    std::int32_t* lastSpan; // M + N: each line's newest span, or -1
    // Exact working costs already rebuilt: element k + 1 (0 marks a free
    // slot), its value and the number of shifts it includes.
    std::uint64_t* knownElement;
    double* knownValue;
    std::uint64_t* knownStamp;
    std::size_t knownCapacity; // a power of two, or 0
    std::size_t knownCount;
    std::uint64_t replayedOperations; // shifts applied while rebuilding
    std::int32_t M;
};

// False, with nothing held, when the memory cannot be had.
bool obtainhistory(ShiftHistory* history, std::int32_t M, std::int32_t N);
void releasehistory(ShiftHistory* history);

// Appends a shift; false when the record cannot grow.
bool recordshift(ShiftHistory* history, double h);

// Line `line` takes part from the next shift on, until endspan.
bool beginspan(ShiftHistory* history, std::int32_t line);
void endspan(ShiftHistory* history, std::int32_t line);

// The exact working cost of (i, j) after every shift recorded so far, given
// its starting cost; *operations grows by the shifts applied to rebuild it.
double replayedworkcost(const ShiftHistory& history, std::int32_t i, std::int32_t j, double start,
                        std::uint64_t* operations);

// The same, and the value is kept, so that the next request for (i, j) only
// applies the shifts made since (when the store cannot grow it is not kept).
double exactworkcost(ShiftHistory* history, std::int32_t i, std::int32_t j, double start);

// Keeps `value` as the exact working cost of (i, j) after every shift
// recorded so far, known without a replay.
void rememberworkcost(ShiftHistory* history, std::int32_t i, std::int32_t j, double value);
