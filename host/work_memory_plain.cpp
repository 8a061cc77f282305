#include "work_memory.h"

#include <cstdlib>

void* workAllocate(std::size_t bytes) { return std::malloc(bytes > 0 ? bytes : 1); }

void* workAllocateZeroed(std::size_t count, std::size_t elementSize)
{
    if (count == 0 || elementSize == 0) return std::calloc(1, 1);
    return std::calloc(count, elementSize);
}

void workRelease(void* block) { std::free(block); }
