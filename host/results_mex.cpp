// Result arrays through the MEX API: zero-filled whatever the start asks for,
// since the API has no other kind in every host (the stand-in host's and
// MATLAB's 32-bit-compatible API map these names onto their _700 forms).

#include "results.h"

mxArray* newResultMatrix(std::size_t rows, std::size_t columns, ResultStart)
{
    return mxCreateDoubleMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns), mxREAL);
}

mxArray* newResultArray3(std::size_t rows, std::size_t columns, std::size_t pages, ResultStart)
{
    const mwSize dims[3] = {static_cast<mwSize>(rows), static_cast<mwSize>(columns),
                            static_cast<mwSize>(pages)};
    return mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
}

mxArray* newResultScalar(double value) { return mxCreateDoubleScalar(value); }

void discardResult(mxArray* result) { mxDestroyArray(result); }
