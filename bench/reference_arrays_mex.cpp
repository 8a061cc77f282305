// Benchmark reference, never shipped: [g, a, b, l] or [g, a, b, x, l] =
// reference_arrays(K, T, write) creates results of the sizes chainsweep
// returns (K-by-T three times, K-by-K-by-T with five results, a scalar) and,
// when write is nonzero, writes every element once. Its time and peak memory
// are the least any chainsweep call of that size can cost.
#include <cstddef>

#include "mex.h"

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs != 3 || (nlhs != 4 && nlhs != 5)) mexErrMsgTxt("usage: reference_arrays(K, T, write)");
    const auto K = static_cast<std::size_t>(mxGetScalar(prhs[0]));
    const auto T = static_cast<std::size_t>(mxGetScalar(prhs[1]));
    const bool write = mxGetScalar(prhs[2]) != 0;
    for (int slot = 0; slot < 3; ++slot) {
        plhs[slot] = mxCreateDoubleMatrix(static_cast<mwSize>(K), static_cast<mwSize>(T), mxREAL);
    }
    if (nlhs == 5) {
        const mwSize dims[3] = {static_cast<mwSize>(K), static_cast<mwSize>(K),
                                static_cast<mwSize>(T)};
        plhs[3] = mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
    }
    if (write) {
        for (int slot = 0; slot < nlhs - 1; ++slot) {
            double* data = mxGetPr(plhs[slot]);
            const std::size_t count = mxGetNumberOfElements(plhs[slot]);
            for (std::size_t e = 0; e < count; ++e) data[e] = 1.0 / (1.0 + double(e & 7));
        }
    }
    plhs[nlhs - 1] = mxCreateDoubleScalar(0.0);
}
