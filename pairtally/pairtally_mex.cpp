// Entry layer of pairtally: counts = pairtally(alpha, beta, transmat, obslik).

#include <cstdint>

#include "host_binding.h"
#include "parallel.h"
#include "results.h"
#include "transition_counts.h"

namespace
{

constexpr char kUsageMessage[] = "requires 4 inputs, and 1 output";
constexpr char kInputKindMessage[] = "inputs must all be real, double matrices";
constexpr char kSizeMessage[] = "input sizes do not all agree";
constexpr char kSparseMessage[] = "inputs must be full matrices: sparse inputs are not supported";
constexpr char kTooLongMessage[] = "inputs are too large: at most 2147483647 rows and columns";
constexpr char kNoMemoryMessage[] = "not enough memory for the K x K working table";

bool hasSize(const mxArray* array, std::size_t rows, std::size_t columns)
{
    return mxGetM(array) == rows && mxGetN(array) == columns;
}

void checkKinds(const mxArray* const inputs[])
{
    for (int input = 0; input < 4; ++input) {
        if (mxIsComplex(inputs[input])) refuse(kInputKindMessage);
        if (!mxIsDouble(inputs[input])) refuse(kInputKindMessage);
    }
}

// Each size is compared rows first, then columns.
void checkSizes(const mxArray* const inputs[], std::size_t K, std::size_t T)
{
    if (!hasSize(inputs[1], K, T)) refuse(kSizeMessage);
    if (!hasSize(inputs[2], K, K)) refuse(kSizeMessage);
    if (!hasSize(inputs[3], K, T)) refuse(kSizeMessage);
}

// The core reads every input as a dense column-major matrix.
void checkFull(const mxArray* const inputs[])
{
    for (int input = 0; input < 4; ++input) {
        if (mxIsSparse(inputs[input])) refuse(kSparseMessage);
    }
}

// The core counts states and steps in 32 bits.
void checkCounts(std::size_t K, std::size_t T)
{
    if (!fitsInt32(K) || !fitsInt32(T)) refuse(kTooLongMessage);
}

// Bytes of one working block for w (K doubles), X (K*K) and the fast path's
// working doubles, refusing a block that the address space cannot hold.
std::size_t workingBytes(std::size_t K, std::size_t fastPathDoubles)
{
    std::size_t table = 0;
    std::size_t bytes = 0;
    const bool addressable = multiplySizes(K, K, &table) && table <= SIZE_MAX - K &&
                             table + K <= SIZE_MAX - fastPathDoubles &&
                             blockBytes(table + K + fastPathDoubles, sizeof(double), &bytes);
    if (!addressable) refuse(kNoMemoryMessage);
    return bytes;
}

} // namespace

void mexFunction(int nlhs, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    if (nrhs != 4 || nlhs != 1) refuse(kUsageMessage);
    checkKinds(prhs);
    const std::size_t K = mxGetM(prhs[0]);
    const std::size_t T = mxGetN(prhs[0]);
    checkSizes(prhs, K, T);
    checkFull(prhs);
    checkCounts(K, T);
    // The fast path also needs the step sums and, per thread, the steps side
    // by side; the threads are chosen here so that no worker calls the host.
    const auto states = static_cast<std::int32_t>(K);
    const auto steps = static_cast<std::int32_t>(T);
    const VectorUnit unit = tallyUnitFor(widestVectorUnit(), states);
    const double operations = 5.0 * static_cast<double>(K) * static_cast<double>(K) *
                              (T > 1 ? static_cast<double>(T - 1) : 0.0);
    const int threads = threadsWorthStarting(operations, threadsForWork(operations));
    const std::size_t fastPathDoubles = tallyWorkingDoubles(unit, states, steps, threads);
    const std::size_t bytes = workingBytes(K, fastPathDoubles);

    const double* alpha = mxGetPr(prhs[0]);
    const double* beta = mxGetPr(prhs[1]);
    const double* transmat = mxGetPr(prhs[2]);
    const double* obslik = mxGetPr(prhs[3]);
    // The core adds into the counts.
    plhs[0] = newResultMatrix(K, K, ResultStart::zeros);
    double* counts = mxGetPr(plhs[0]);

    // One block for all working memory: each host allocation costs as much
    // as a small call's work. At least one byte, so that K = 0 is no special
    // case.
    auto* w = static_cast<double*>(mxMalloc(bytes > 0 ? bytes : 1));
    if (!w) refuse(kNoMemoryMessage);
    double* X = w + K;
    double* work = fastPathDoubles > 0 ? X + K * K : nullptr;
    tallyTransitionsOnUnit(unit, threads, states, steps, alpha, beta, transmat, obslik, counts, w,
                           X, work);
    mxFree(w);
}
