#include "failing_work_memory.h"

#include <cstdlib>

#include "work_memory.h"

namespace
{

std::uint64_t untilFailure = 0;
bool failed = false;

// Counts a request down; true when it is the one to refuse.
bool refuseThisRequest()
{
    if (untilFailure == 0) return false;
    if (--untilFailure > 0) return false;
    failed = true;
    return true;
}

} // namespace

void failWorkRequest(std::uint64_t n)
{
    untilFailure = n;
    failed = false;
}

bool workRequestFailed() { return failed; }

void* workAllocate(std::size_t bytes)
{
    if (refuseThisRequest()) return nullptr;
    return std::malloc(bytes > 0 ? bytes : 1);
}

void* workAllocateZeroed(std::size_t count, std::size_t elementSize)
{
    if (refuseThisRequest()) return nullptr;
    if (count == 0 || elementSize == 0) return std::calloc(1, 1);
    return std::calloc(count, elementSize);
}

void workRelease(void* block) { std::free(block); }
