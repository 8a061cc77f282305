#pragma once
// What every entry layer needs from its host beyond the host's own header:
// a refusal that cannot fall through, the argument-kind test and overflow-safe
// size arithmetic. The same source builds against GNU Octave's mex.h, MATLAB's
// mex.h (32-bit-compatible array API) and the stand-in host's mex.h.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "mex.h"

// Ends the call with message. The host's error call never returns; Octave's
// header does not say so, hence the abort that is never reached.
[[noreturn]] inline void refuse(const char* message)
{
    mexErrMsgTxt(message);
    std::abort();
}

// The cores read every input as a dense column-major array of real doubles.
inline bool isRealFullDouble(const mxArray* array)
{
    return mxIsDouble(array) && !mxIsComplex(array) && !mxIsSparse(array);
}

// True when value fits a 32-bit signed count.
inline bool fitsInt32(std::size_t value)
{
    return value <= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
}

// a * b, false on overflow.
inline bool multiplySizes(std::size_t a, std::size_t b, std::size_t* product)
{
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return false;
    *product = a * b;
    return true;
}

// Bytes of count elements of elementSize bytes, false when the block could not
// be addressed (more than PTRDIFF_MAX bytes).
inline bool blockBytes(std::size_t count, std::size_t elementSize, std::size_t* bytes)
{
    std::size_t total = 0;
    if (!multiplySizes(count, elementSize, &total)) return false;
    if (total > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) return false;
    *bytes = total;
    return true;
}
