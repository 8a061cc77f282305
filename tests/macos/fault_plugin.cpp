// A small plug-in that tests/macos/CMakeLists.txt builds with one fault at a
// time, for the structural checks to refuse.

#include "mex.h"

#if defined(FAULT_UNLISTED_IMPORT)
// A host function that is not in host/libraries/libmx.def.
extern "C" double* mxGetPi(const mxArray* array);
#endif
#if defined(FAULT_UNLISTED_LIBRARY)
// A function of a library that is neither the host's nor the system's.
extern "C" int unlistedLibraryFunction(void);
#endif

// Exported too when the export list is left out.
extern "C" double faultPluginScale(double value) { return 2.0 * value; }

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nlhs < 1 || nrhs < 1) return;
    plhs[0] = mxCreateDoubleMatrix(1, 1, mxREAL);
    double* result = mxGetPr(plhs[0]);
    result[0] = faultPluginScale(mxGetPr(prhs[0])[0]);
#if defined(FAULT_UNLISTED_IMPORT)
    if (mxGetPi(prhs[0])) result[0] = 0.0;
#endif
#if defined(FAULT_UNLISTED_LIBRARY)
    result[0] += unlistedLibraryFunction();
#endif
}
