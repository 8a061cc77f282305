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
//
// Like Octave and MATLAB, the host never hands out a block or an array it
// cannot grant: a request beyond its allocation limit, or whose size does not
// fit size_t, ends the running call with kOutOfMemoryMessage (outside a call it
// throws HostError). With zero-byte requests set to null, mxMalloc(0) and
// mxCalloc with a zero count or size return nullptr, as a real host may.

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "mex.h"

namespace standin
{

using MexFunction = void (*)(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[]);

// The host's own error when memory cannot be granted or a size cannot be held
// (Octave's words).
inline constexpr char kOutOfMemoryMessage[] =
    "out of memory or dimension too large for Octave's index type";

// What the host throws when a request made outside any call cannot be granted.
struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

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

// An array of any declared size, with dimensions wider than mwSize (as in
// Octave, whose sizes are 64-bit): dense arrays must have an element count
// that fits size_t; a sparse array (two dimensions) holds room for nonzeros
// elements whatever its size. mxGetDimensions reports dimensions beyond
// mwSize's range as its largest value. Returns nullptr for a class the host
// cannot create this way (cell and struct arrays have their own calls).
mxArray* createArray(const std::vector<std::size_t>& dims, mxClassID classId,
                     mxComplexity complexity = mxREAL, bool sparse = false,
                     std::size_t nonzeros = 0);

// Every byte of an array's storage (real part, then imaginary part), to tell
// whether a call changed an input.
std::vector<unsigned char> contents(const mxArray* array);

// The most bytes that array data and working blocks may hold at once
// (initially $STANDIN_ALLOCATION_LIMIT, else 1 TiB). Returns the previous limit.
std::size_t setAllocationLimit(std::size_t bytes);
// Bytes that array data and working blocks hold now.
std::size_t allocatedBytes();

// Whether zero-byte requests return nullptr (initially true when
// $STANDIN_ZERO_BYTES is "null"). Returns the previous setting.
bool setZeroByteRequestsNull(bool null);

} // namespace standin
