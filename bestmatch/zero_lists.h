#pragma once
// The zeros step3 has yet to visit, column by column.
//
// Between two shifts working costs do not change and rows are only ever
// covered, so the zeros of a column in uncovered rows only become fewer: each
// column gets one list of its zero rows, ascending, when it becomes known
// (after a shift, at the start of a phase, or when step3 uncovers it), and
// step3 takes them one after the other, skipping rows covered since. A bit per
// column marks the lists not yet used up, so that a pass of step3 visits only
// the columns that may still hold a zero.
//
// The lists share one pool. When it is full a list keeps its first rows and
// is marked truncated: past its last row the column has to be scanned.

#include <cstddef>
#include <cstdint>

struct ZeroLists {
    std::int32_t* pool;
    std::size_t capacity;
    std::size_t used;
    std::size_t* begin;       // N: the column's first entry in pool
    std::int32_t* count;      // N: its entries
    std::int32_t* taken;      // N: entries visited so far
    std::int32_t* scanFrom;   // N: for a truncated list, the row its scan goes on from
    unsigned char* truncated; // N
    std::uint64_t* bits;      // ceil(N / 64): lists that may hold an unvisited zero
    std::int32_t* listed;     // columns holding a list since the last clearzerolists
    std::int32_t listedCount;
    std::int32_t open; // the column whose list is being made, or -1
    std::int32_t N;
};

// Room for about `entries` rows in all lists together; false, with nothing
// held, when the memory cannot be had.
bool obtainzerolists(ZeroLists* lists, std::int32_t N, std::size_t entries);
void releasezerolists(ZeroLists* lists);

// Forgets every list (in time proportional to the lists made since).
void clearzerolists(ZeroLists* lists);

// Makes the list of column j (which has none since the last clear): rows are
// added in ascending order between openzerolist and closezerolist.
void openzerolist(ZeroLists* lists, std::int32_t j);
void addzero(ZeroLists* lists, std::int32_t row);
void closezerolist(ZeroLists* lists);

// A list for column j that holds no rows yet: its zeros are to be found by
// scanning the column from row `from` on, as for a truncated list.
void openscannedzerolist(ZeroLists* lists, std::int32_t j, std::int32_t from);

// Lists for (row, column) pairs in any order: sorted by column, then row.
// pairs holds 2 * count values: row, column, row, column, ...
void addzeropairs(ZeroLists* lists, std::int32_t* pairs, std::size_t count);

// The first column from `from` on whose list may hold an unvisited zero, or N.
std::int32_t nextzerocolumn(const ZeroLists& lists, std::int32_t from);

// The next listed row of column j not yet visited (it is marked visited), or
// -1 when the list is used up: then, for a truncated list, *scanFrom tells
// where to scan on, else the column holds no more zeros (its bit is cleared).
std::int32_t nextlistedzero(ZeroLists* lists, std::int32_t j, std::int32_t* scanFrom);

// What the scan of a truncated list's column from its scanFrom found: a zero
// at row (the next scan starts past it), or none (row >= M: the column is done).
void scannedzero(ZeroLists* lists, std::int32_t j, std::int32_t row, std::int32_t M);
