#include "work_memory.h"

#include "mex.h"

void* workAllocate(std::size_t bytes) { return mxMalloc(bytes > 0 ? bytes : 1); }

void* workAllocateZeroed(std::size_t count, std::size_t elementSize)
{
    if (count == 0 || elementSize == 0) return mxCalloc(1, 1);
    return mxCalloc(count, elementSize);
}

void workRelease(void* block) { mxFree(block); }
