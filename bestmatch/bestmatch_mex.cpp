// Entry layer of bestmatch: [assignment, cost] = bestmatch(costs).

#include <cstdint>

#include "assignment.h"
#include "host_binding.h"
#include "results.h"

namespace
{

constexpr char kUsageMessage[] = "requires 1 input and at most 2 outputs";
constexpr char kInputKindMessage[] =
    "The cost matrix must be a real, full (non-sparse), two-dimensional double matrix.";

// Refuses sizes that the core's 32-bit counts or the platform cannot hold.
void checksize(std::size_t M, std::size_t N)
{
    std::size_t elements = 0;
    std::size_t bytes = 0;
    const bool representable = fitsInt32(M) && fitsInt32(N) && multiplySizes(M, N, &elements) &&
                               blockBytes(elements, sizeof(double), &bytes);
    if (!representable) refuse(kMatrixTooLargeMessage);
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs != 1 || nlhs > 2) refuse(kUsageMessage);
    const mxArray* costs = prhs[0];
    if (!isRealFullDouble(costs) || mxGetNumberOfDimensions(costs) != 2) {
        refuse(kInputKindMessage);
    }
    const std::size_t M = mxGetM(costs);
    const std::size_t N = mxGetN(costs);
    checksize(M, N);

    // The results are created first and the solver writes straight into them.
    // The host provides one slot even for nlhs = 0; with fewer than two the
    // total goes into a scalar of our own.
    plhs[0] = newResultMatrix(M, 1, ResultStart::zeros);
    double unusedCost = 0.0;
    double* cost = &unusedCost;
    if (nlhs == 2) {
        plhs[1] = newResultScalar(0);
        cost = mxGetPr(plhs[1]);
    }
    const char* failure = nullptr;
    bestmatch(mxGetPr(plhs[0]), cost, mxGetPr(costs), static_cast<std::int32_t>(M),
              static_cast<std::int32_t>(N), &failure);
    if (failure) refuse(failure);
}
