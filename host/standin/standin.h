#pragma once
// Driving plug-ins through the stand-in host, for tests.
//
// A call runs a plug-in's mexFunction the way the real host does: result slots
// are a fresh array of max(nlhs, 1) entries, mexErrMsgTxt abandons the call and
// hands its message back here, and when the call ends (either way) the host
// reclaims every mxMalloc/mxCalloc block and every array that the call made
// but did not store in a result slot. Each reclaimed item is counted, so a
// test can tell a plug-in that frees its own memory from one that relies on
// the host.

#include <cstddef>
#include <string>
#include <vector>

#include "mex.h"

namespace standin
{

using MexFunction = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

struct CallOutcome {
    bool completed = false;          // false when the call was abandoned by mexErrMsgTxt
    std::string error;               // the message of mexErrMsgTxt
    std::vector<mxArray*> results;   // the result slots; the caller owns what they hold
    std::size_t reclaimedBlocks = 0; // mxMalloc/mxCalloc blocks the call did not free
    std::size_t reclaimedArrays = 0; // arrays made by the call and stored in no slot
};

// Runs one call. Inputs stay owned by the caller.
CallOutcome call(MexFunction function, int nlhs, const std::vector<const mxArray*>& inputs);

// Loads a plug-in file and returns its mexFunction; throws std::runtime_error
// when the file or the symbol cannot be found.
MexFunction loadPlugin(const std::string& path);

// Arrays and working blocks currently alive, whoever owns them.
std::size_t liveAllocations();

// Everything mexPrintf printed since the last call of takePrinted.
std::string takePrinted();

} // namespace standin
