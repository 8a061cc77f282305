// Result arrays as Octave's own arrays (GNU Octave builds only).
//
// Octave copies every array made through the MEX API into an array of its own
// when a call returns (unless it is built with the polymorphic allocator), so
// such a result is zero-filled, written, copied and freed, and the call's
// memory peaks at twice its results. An Octave NDArray wrapped in the host's
// array handle is taken back as it is: mxGetPr gives its storage.
//
// Octave frees at the end of a call, however it ends, only what was made
// through the MEX API; a handle made here is on no such list. So each handle
// is first placed in a 1-by-1 cell made through the MEX API: when the call
// ends the host destroys that cell and, with it, the handle it holds. By then
// Octave has taken over the values of the handles stored in result slots;
// the others, and all of them when the call is abandoned (an error of ours,
// out of memory in mxMalloc or here), are freed with their cells.
//
// This source sees Octave's mxArray class, so it cannot include the MEX
// header (whose mxArray is void) or results.h: its functions take and return
// void*, which is what results.h declares under Octave's mex.h.

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <new>

#include "dNDArray.h"
#include "dim-vector.h"
#include "ov.h"
// The class must be declared before the MEX API's prototypes.
#include "mxarray.h"

#include "mexproto.h"
#include "result_start.h"

namespace
{

constexpr bool kInterleaved = MX_HAS_INTERLEAVED_COMPLEX != 0;

// Makes value a result whose handle the host destroys with holder, a 1-by-1
// cell made through the MEX API, when the call ends. The callers make the
// cell before the value, so that a failure to make the value leaves nothing
// of ours behind.
void* handOver(mxArray* holder, const octave_value& value)
{
    mxArray* result = new mxArray(kInterleaved, value);
    mxSetCell(holder, 0, result);
    return result;
}

// Storage for count doubles. When it cannot be had the call ends with the
// words Octave uses when an array made through the MEX API cannot be.
double* allocateDoubles(std::allocator<double>& allocator, std::size_t count)
{
    try {
        return allocator.allocate(count);
    } catch (const std::bad_alloc&) {
        char message[80];
        std::snprintf(message, sizeof message, "failed to allocate %zu bytes of memory",
                      count * sizeof(double));
        mexErrMsgTxt(message);
        throw;
    }
}

// An NDArray of dims whose storage starts as start says. Octave's own
// constructor value-initialises every element; for unset storage the array
// takes over a block from the allocator it frees with.
NDArray newArray(const dim_vector& dims, ResultStart start)
{
    const auto count = static_cast<std::size_t>(dims.safe_numel());
    std::allocator<double> allocator;
    double* data = allocateDoubles(allocator, count);
    if (start == ResultStart::zeros) std::fill_n(data, count, 0.0);
    try {
        return NDArray(Array<double>(data, dims));
    } catch (...) {
        allocator.deallocate(data, count);
        throw;
    }
}

void* newResult(const dim_vector& dims, ResultStart start)
{
    mxArray* holder = mxCreateCellMatrix(1, 1);
    return handOver(holder, octave_value(newArray(dims, start)));
}

octave_idx_type extent(std::size_t count) { return static_cast<octave_idx_type>(count); }

} // namespace

void* newResultMatrix(std::size_t rows, std::size_t columns, ResultStart start)
{
    return newResult(dim_vector(extent(rows), extent(columns)), start);
}

void* newResultArray3(std::size_t rows, std::size_t columns, std::size_t pages, ResultStart start)
{
    return newResult(dim_vector(extent(rows), extent(columns), extent(pages)), start);
}

void* newResultScalar(double value)
{
    mxArray* holder = mxCreateCellMatrix(1, 1);
    return handOver(holder, octave_value(value));
}

// The host destroys the result with its cell when the call ends; it cannot
// be taken out of the cell sooner, since only the handle is known here.
void discardResult(void*) {}
