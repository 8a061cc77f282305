#pragma once
// Working memory of the numerical cores.
//
// Inside a plug-in these are the host's mxMalloc, mxCalloc and mxFree (the host
// reclaims them if it abandons a call); elsewhere (tests, benchmarks) they are
// malloc, calloc and free. Each returns nullptr when the memory cannot be had;
// a request for 0 bytes still yields a distinct block.

#include <cstddef>

void* workAllocate(std::size_t bytes);
void* workAllocateZeroed(std::size_t count, std::size_t elementSize);
void workRelease(void* block);
