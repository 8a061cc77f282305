// Entry layer of pathtrace: [D, P, S] = pathtrace(O, R, T, C).

#include <cstdint>

#include "best_path.h"
#include "host_binding.h"
#include "results.h"

namespace
{

constexpr char kTooFewInputsMessage[] =
    "Too few inputs: O, R, T and C are all needed to return results.";
constexpr char kInputKindMessage[] = "O, R, T and C must be real, full (non-sparse) double arrays.";
constexpr char kTooLargeMessage[] =
    "O is too large: its row and column counts must each fit a 32-bit signed integer.";
constexpr char kPriorsMessage[] = "R must hold at least K elements, K being the row count of O.";
constexpr char kTransitionsMessage[] =
    "T must hold at least K*K elements, K being the row count of O.";
constexpr char kSwitchMessage[] = "C must not be empty: its first element switches normalisation.";

constexpr int kInputCount = 4;
constexpr int kResultCount = 3;

void printUsage()
{
    mexPrintf("[D,P,S] = pathtrace(O,R,T,C)\n");
    mexPrintf(
        "  O is local cost, R is priors, T is transmat, C is flag to normalize each column\n");
    mexPrintf("  D is matrix of best scores, P returns traceback, S is vector of norm scales\n");
}

// Refuses any input that the core would read past or misread: every array is
// taken as dense real doubles, R as K values, T as K*K and C as one.
void checkInputs(const mxArray* const inputs[])
{
    for (int input = 0; input < kInputCount; ++input) {
        if (!isRealFullDouble(inputs[input])) refuse(kInputKindMessage);
    }
    const std::size_t K = mxGetM(inputs[0]);
    if (!fitsInt32(K) || !fitsInt32(mxGetN(inputs[0]))) refuse(kTooLargeMessage);
    if (mxGetNumberOfElements(inputs[1]) < K) refuse(kPriorsMessage);
    std::size_t transitions = 0;
    if (!multiplySizes(K, K, &transitions) || mxGetNumberOfElements(inputs[2]) < transitions) {
        refuse(kTransitionsMessage);
    }
    if (mxGetNumberOfElements(inputs[3]) < 1) refuse(kSwitchMessage);
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs < kInputCount) {
        printUsage();
        if (nlhs < 1) return;
        refuse(kTooFewInputsMessage);
    }
    if (nlhs < 1) return;
    checkInputs(prhs);

    const std::size_t K = mxGetM(prhs[0]);
    const std::size_t N = mxGetN(prhs[0]);
    const double* O = mxGetPr(prhs[0]);
    const double* R = mxGetPr(prhs[1]);
    const double* T = mxGetPr(prhs[2]);
    const double* C = mxGetPr(prhs[3]);
    const bool normalise = C[0] != 0.0;

    // All three results are computed whatever nlhs is; those that receive no
    // slot are discarded once the core is done with them. The core writes
    // every element of D and P, and S only when normalising.
    mxArray* results[kResultCount] = {newResultMatrix(K, N, ResultStart::unset),
                                      newResultMatrix(K, N, ResultStart::unset),
                                      newResultMatrix(1, N, ResultStart::zeros)};
    double* D = mxGetPr(results[0]);
    double* P = mxGetPr(results[1]);
    double* S = mxGetPr(results[2]);
    for (int slot = 0; slot < kResultCount && slot < nlhs; ++slot) plhs[slot] = results[slot];

    if (N > 0) {
        bestPathScoresInPlace(static_cast<std::int32_t>(K), static_cast<std::int32_t>(N), O, R, T,
                              normalise, D, P, S);
    }
    for (int slot = nlhs; slot < kResultCount; ++slot) discardResult(results[slot]);
}
