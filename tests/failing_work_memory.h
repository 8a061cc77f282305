#pragma once
// Working memory for the cores (host/work_memory.h) that refuses one request
// on purpose: the tests that link it check that every path of a core that
// asks for memory takes a refusal as the contract says, never as a block.

#include <cstdint>

// The request that fails: the n-th from now on (1 for the next), every later
// one granted; 0, the default, for none.
void failWorkRequest(std::uint64_t n);

// Whether the request set to fail has been made since failWorkRequest.
bool workRequestFailed();
