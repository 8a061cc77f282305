#include "start_zeros.h"

#include <algorithm>

#include "work_memory.h"

bool obtainstartzeros(StartZeros* zeros, std::int32_t M, std::int32_t N, std::size_t capacity)
{
    *zeros = StartZeros{};
    zeros->M = M;
    zeros->N = N;
    zeros->capacity = capacity;
    zeros->complete = true;
    zeros->rows = static_cast<std::int32_t*>(workAllocate(capacity * sizeof(std::int32_t)));
    zeros->columns = static_cast<std::int32_t*>(workAllocate(capacity * sizeof(std::int32_t)));
    zeros->columnStart = static_cast<std::size_t*>(
        workAllocateZeroed(static_cast<std::size_t>(N) + 1, sizeof(std::size_t)));
    zeros->rowStart = static_cast<std::size_t*>(
        workAllocateZeroed(static_cast<std::size_t>(M) + 1, sizeof(std::size_t)));
    const bool obtained = zeros->rows && zeros->columns && zeros->columnStart && zeros->rowStart;
    if (!obtained) releasestartzeros(zeros);
    return obtained;
}

void releasestartzeros(StartZeros* zeros)
{
    workRelease(zeros->rows);
    workRelease(zeros->columns);
    workRelease(zeros->columnStart);
    workRelease(zeros->rowStart);
    *zeros = StartZeros{};
}

void addcolumnzeros(StartZeros* zeros, std::int32_t j, const std::int32_t* rows, std::int32_t count)
{
    if (!zeros->complete) return;
    const auto n = static_cast<std::size_t>(count);
    if (zeros->capacity - zeros->count < n) {
        zeros->complete = false;
        return;
    }
    std::copy(rows, rows + n, zeros->rows + zeros->count);
    zeros->count += n;
    zeros->columnStart[j + 1] = zeros->count;
}

void finishstartzeros(StartZeros* zeros)
{
    if (!zeros->complete) return;
    // Counting sort by row: the columns come out ascending within each row.
    for (std::int32_t j = 0; j < zeros->N; ++j) {
        if (zeros->columnStart[j + 1] < zeros->columnStart[j])
            zeros->columnStart[j + 1] = zeros->columnStart[j]; // a column without zeros
    }
    for (std::size_t k = 0; k < zeros->count; ++k) ++zeros->rowStart[zeros->rows[k] + 1];
    for (std::int32_t i = 0; i < zeros->M; ++i) zeros->rowStart[i + 1] += zeros->rowStart[i];
    std::size_t* next = zeros->rowStart; // advanced while filling, then restored
    for (std::int32_t j = 0; j < zeros->N; ++j) {
        for (std::size_t k = zeros->columnStart[j]; k < zeros->columnStart[j + 1]; ++k) {
            zeros->columns[next[zeros->rows[k]]++] = j;
        }
    }
    for (std::int32_t i = zeros->M; i > 0; --i) zeros->rowStart[i] = zeros->rowStart[i - 1];
    zeros->rowStart[0] = 0;
}

std::int32_t firststartzero(const StartZeros& zeros, std::int32_t j, std::int32_t from,
                            const unsigned char* rowCovered)
{
    const std::int32_t* begin = zeros.rows + zeros.columnStart[j];
    const std::int32_t* end = zeros.rows + zeros.columnStart[j + 1];
    for (const std::int32_t* row = std::lower_bound(begin, end, from); row != end; ++row) {
        if (!rowCovered[*row]) return *row;
    }
    return zeros.M;
}
