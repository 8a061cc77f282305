// Entry layer of chainsweep: [gamma, alpha, beta, loglik] or
// [gamma, alpha, beta, xi, loglik] = chainsweep(prior, transmat, obslik).
//
// The results are created first and the core computes straight into them;
// when the core meets a negative value they are discarded before the call is
// refused, so the caller sees the message alone.

#include <cmath>

#include "forward_backward.h"
#include "host_binding.h"
#include "parallel.h"
#include "results.h"
#include "vector_unit.h"

namespace
{

constexpr char kUsageMessage[] = "chainsweepC requires 3 inputs and 4-5 outputs";
constexpr char kTransitionShapeMessage[] = "The transition matrix must be of size KxK.";
constexpr char kObslikRowsMessage[] = "The obslik must have K rows.";
constexpr char kInputKindMessage[] = "All inputs must be real, full (non-sparse) double arrays.";
constexpr char kNoStepsMessage[] = "The obslik must have at least one column (one time step).";
constexpr char kTooManyStepsMessage[] =
    "The problem is too large: the obslik may have at most 2147483647 columns (time steps).";
constexpr char kTooManyStatesMessage[] =
    "The problem is too large: the chain may have at most 2147483647 states.";
constexpr char kTooLargeMessage[] =
    "The problem is too large: the K-by-K-by-T pairwise marginals cannot be allocated.";

// Refuses counts that the core's 32-bit counts, the host's array sizes or the
// platform cannot hold. Only a returned pairwise table has K*K*T elements.
void checkSizes(std::size_t K, std::size_t T, bool pairwise)
{
    if (!fitsInt32(T)) refuse(kTooManyStepsMessage);
    if (!fitsInt32(K)) refuse(kTooManyStatesMessage);
    std::size_t count = 0;
    std::size_t bytes = 0;
    if (!multiplySizes(K, T, &count) || !blockBytes(count, sizeof(double), &bytes))
        refuse(kTooManyStepsMessage);
    if (pairwise && !(multiplySizes(K, K, &count) && multiplySizes(count, T, &count) &&
                      blockBytes(count, sizeof(double), &bytes)))
        refuse(kTooLargeMessage);
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs != 3 || (nlhs != 4 && nlhs != 5)) refuse(kUsageMessage);
    // K = rows * columns of the prior. A product beyond every count matches
    // no transition matrix.
    std::size_t K = 0;
    const bool representable = multiplySizes(mxGetM(prhs[0]), mxGetN(prhs[0]), &K);
    if (!representable || mxGetN(prhs[1]) != K) refuse(kTransitionShapeMessage);
    if (mxGetM(prhs[1]) != K) refuse(kTransitionShapeMessage);
    const std::size_t T = mxGetN(prhs[2]);
    if (mxGetM(prhs[2]) != K) refuse(kObslikRowsMessage);
    for (int input = 0; input < 3; ++input) {
        if (!isRealFullDouble(prhs[input])) refuse(kInputKindMessage);
    }
    if (T == 0) refuse(kNoStepsMessage);
    const bool pairwise = nlhs == 5;
    checkSizes(K, T, pairwise);

    // The core writes every element of every result (with K = 0 there are
    // none), so their storage need not be cleared first.
    mxArray* gamma = newResultMatrix(K, T, ResultStart::unset);
    mxArray* alpha = newResultMatrix(K, T, ResultStart::unset);
    mxArray* beta = newResultMatrix(K, T, ResultStart::unset);
    mxArray* xi = pairwise ? newResultArray3(K, K, T, ResultStart::unset) : nullptr;
    // An empty chain: every result is empty and the log-likelihood is ln 0.
    double logLikelihood = -INFINITY;
    if (K > 0) {
        const char* failure = nullptr;
        const auto states = static_cast<std::int32_t>(K);
        const VectorUnit unit = smootherUnitFor(widestVectorUnit(), states, pairwise);
        // The core splits at most about 4*K*K*T operations over threads.
        const int threads = threadsForWork(4.0 * static_cast<double>(K) * static_cast<double>(K) *
                                           static_cast<double>(T));
        logLikelihood = forwardBackwardInPlace(
            mxGetPr(gamma), mxGetPr(alpha), mxGetPr(beta), pairwise ? mxGetPr(xi) : nullptr,
            mxGetPr(prhs[0]), mxGetPr(prhs[1]), mxGetPr(prhs[2]), states,
            static_cast<std::int32_t>(T), unit, threads, &failure);
        if (failure) {
            discardResult(gamma);
            discardResult(alpha);
            discardResult(beta);
            if (xi) discardResult(xi);
            refuse(failure);
        }
    }
    plhs[0] = gamma;
    plhs[1] = alpha;
    plhs[2] = beta;
    if (pairwise) plhs[3] = xi;
    plhs[nlhs - 1] = newResultScalar(logLikelihood);
}
