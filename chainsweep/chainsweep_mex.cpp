// Entry layer of chainsweep: [gamma, alpha, beta, loglik] or
// [gamma, alpha, beta, xi, loglik] = chainsweep(prior, transmat, obslik).

#include <cstring>

#include "forward_backward.h"
#include "host_binding.h"

namespace
{

constexpr char kUsageMessage[] = "chainsweepC requires 3 inputs and 4-5 outputs";
constexpr char kTransitionShapeMessage[] = "The transition matrix must be of size KxK.";
constexpr char kObslikRowsMessage[] = "The obslik must have K rows.";
constexpr char kInputKindMessage[] = "All inputs must be real, full (non-sparse) double arrays.";
constexpr char kNoStepsMessage[] = "The obslik must have at least one column (one time step).";
constexpr char kTooLargeMessage[] =
    "The problem is too large: the K-by-K-by-T pairwise marginals cannot be allocated.";

// Working copies of the four smoothing results.
struct Results {
    double* gamma;
    double* alpha;
    double* beta;
    double* xi;
};

void releaseResults(const Results& results)
{
    mxFree(results.gamma);
    mxFree(results.alpha);
    mxFree(results.beta);
    mxFree(results.xi);
}

// A new rows-by-columns host matrix holding a copy of values.
mxArray* newMatrixFrom(const double* values, std::size_t rows, std::size_t columns)
{
    mxArray* matrix =
        mxCreateDoubleMatrix(static_cast<mwSize>(rows), static_cast<mwSize>(columns), mxREAL);
    if (rows * columns > 0) std::memcpy(mxGetPr(matrix), values, rows * columns * sizeof(double));
    return matrix;
}

mxArray* newPairwiseFrom(const double* xi, std::size_t K, std::size_t T)
{
    const mwSize dims[3] = {static_cast<mwSize>(K), static_cast<mwSize>(K), static_cast<mwSize>(T)};
    mxArray* pairwise = mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
    if (K * K * T > 0) std::memcpy(mxGetPr(pairwise), xi, K * K * T * sizeof(double));
    return pairwise;
}

// Refuses counts that the core's 32-bit counts or the platform cannot hold.
void checkSizes(std::size_t K, std::size_t T, std::size_t* sequenceBytes,
                std::size_t* pairwiseBytes)
{
    std::size_t slice = 0;
    std::size_t pairwise = 0;
    bool representable = fitsInt32(K) && fitsInt32(T) && multiplySizes(K, K, &slice) &&
                         slice <= 0xFFFFFFFFu && multiplySizes(slice, T, &pairwise) &&
                         blockBytes(pairwise, sizeof(double), pairwiseBytes) &&
                         blockBytes(K * T, sizeof(double), sequenceBytes);
    if (!representable) refuse(kTooLargeMessage);
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs != 3 || (nlhs != 4 && nlhs != 5)) refuse(kUsageMessage);
    const std::size_t K = mxGetM(prhs[0]) * mxGetN(prhs[0]);
    if (mxGetN(prhs[1]) != K) refuse(kTransitionShapeMessage);
    if (mxGetM(prhs[1]) != K) refuse(kTransitionShapeMessage);
    const std::size_t T = mxGetN(prhs[2]);
    if (mxGetM(prhs[2]) != K) refuse(kObslikRowsMessage);
    for (int input = 0; input < 3; ++input) {
        if (!isRealFullDouble(prhs[input])) refuse(kInputKindMessage);
    }
    if (T == 0) refuse(kNoStepsMessage);
    std::size_t sequenceBytes = 0;
    std::size_t pairwiseBytes = 0;
    checkSizes(K, T, &sequenceBytes, &pairwiseBytes);

    const double* prior = mxGetPr(prhs[0]);
    const double* transmat = mxGetPr(prhs[1]);
    const double* obslik = mxGetPr(prhs[2]);
    const Results results{static_cast<double*>(mxMalloc(sequenceBytes)),
                          static_cast<double*>(mxMalloc(sequenceBytes)),
                          static_cast<double*>(mxMalloc(sequenceBytes)),
                          static_cast<double*>(mxMalloc(pairwiseBytes))};
    if (!results.gamma || !results.alpha || !results.beta || !results.xi) {
        releaseResults(results);
        refuse(kTooLargeMessage);
    }

    const char* failure = nullptr;
    const double logLikelihood = forwardBackwardInPlace(
        results.gamma, results.alpha, results.beta, results.xi, prior, transmat, obslik,
        static_cast<std::int32_t>(K), static_cast<std::int32_t>(T), &failure);
    if (failure) {
        releaseResults(results);
        refuse(failure);
    }

    plhs[0] = newMatrixFrom(results.gamma, K, T);
    plhs[1] = newMatrixFrom(results.alpha, K, T);
    plhs[2] = newMatrixFrom(results.beta, K, T);
    if (nlhs == 5) plhs[3] = newPairwiseFrom(results.xi, K, T);
    plhs[nlhs - 1] = mxCreateDoubleScalar(logLikelihood);
    releaseResults(results);
}
