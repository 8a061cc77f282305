#pragma once
// The zeros of the reduced costs, found while the reduction writes them: by
// column (ascending rows) and by row (ascending columns). Until the first
// shift of a run they are the working costs' zeros, so the first stars and
// step3's searches read them instead of scanning the matrix: across a row
// the matrix is read an element a cache line, and integer costs have many
// zeros in rows that are covered.
//
// Only as many zeros are kept as there is room for; past that the set is
// incomplete and nobody reads it.

#include <cstddef>
#include <cstdint>

struct StartZeros {
    std::int32_t* rows;       // the zeros' rows, column after column
    std::size_t* columnStart; // N + 1: column j's rows are rows[columnStart[j] ..]
    std::int32_t* columns;    // the zeros' columns, row after row
    std::size_t* rowStart;    // M + 1
    std::size_t count;
    std::size_t capacity;
    bool complete;
    std::int32_t M;
    std::int32_t N;
};

// Room for `capacity` zeros; false, with nothing held, when the memory cannot
// be had.
bool obtainstartzeros(StartZeros* zeros, std::int32_t M, std::int32_t N, std::size_t capacity);
void releasestartzeros(StartZeros* zeros);

// Column j's zero rows, ascending; columns come in ascending order, once each.
void addcolumnzeros(StartZeros* zeros, std::int32_t j, const std::int32_t* rows,
                    std::int32_t count);

// After the last column: the zeros by row.
void finishstartzeros(StartZeros* zeros);

// The first row from `from` on of column j's zeros that is not covered, or M.
std::int32_t firststartzero(const StartZeros& zeros, std::int32_t j, std::int32_t from,
                            const unsigned char* rowCovered);
