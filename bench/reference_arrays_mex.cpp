// Benchmark reference, never shipped: [r1, r2, ...] = reference_arrays(kind,
// write, sizes) creates one real double result per row [rows, columns,
// pages] of sizes and, when write is nonzero, writes every element once.
// kind 0 creates them through the MEX API (zero-filled, and copied by Octave
// on return), kind 1 as Octave's own arrays (host/results.h, as the plug-ins
// do). The time and peak memory of a call are the least that a plug-in
// returning results of those sizes can cost with that kind of result.
#include <cstddef>

#include "mex.h"
#include "results.h"

namespace
{

mxArray* newReference(bool own, std::size_t rows, std::size_t columns, std::size_t pages)
{
    if (own) return newResultArray3(rows, columns, pages, ResultStart::unset);
    const mwSize dims[3] = {static_cast<mwSize>(rows), static_cast<mwSize>(columns),
                            static_cast<mwSize>(pages)};
    return mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs != 3 || mxGetN(prhs[2]) != 3 || static_cast<int>(mxGetM(prhs[2])) != nlhs) {
        mexErrMsgTxt("usage: [r1, ..., rn] = reference_arrays(kind, write, n-by-3 sizes)");
    }
    const bool own = mxGetScalar(prhs[0]) != 0;
    const bool write = mxGetScalar(prhs[1]) != 0;
    const double* sizes = mxGetPr(prhs[2]);
    for (int slot = 0; slot < nlhs; ++slot) {
        const auto size = [&](int column) {
            return static_cast<std::size_t>(sizes[slot + column * nlhs]);
        };
        plhs[slot] = newReference(own, size(0), size(1), size(2));
        if (!write) continue;
        double* data = mxGetPr(plhs[slot]);
        const std::size_t count = mxGetNumberOfElements(plhs[slot]);
        for (std::size_t e = 0; e < count; ++e) data[e] = 1.0 / (1.0 + double(e & 7));
    }
}
