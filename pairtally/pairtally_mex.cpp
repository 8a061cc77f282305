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

// Bytes of w and X, refusing a table that the address space cannot hold.
void workingBytes(std::size_t K, std::size_t* weightBytes, std::size_t* tableBytes)
{
    std::size_t tableCount = 0;
    const bool addressable = multiplySizes(K, K, &tableCount) &&
                             blockBytes(K, sizeof(double), weightBytes) &&
                             blockBytes(tableCount, sizeof(double), tableBytes);
    if (!addressable) refuse(kNoMemoryMessage);
}

// A working block of bytes (at least one, so that K = 0 is no special case).
double* allocateWork(std::size_t bytes)
{
    return static_cast<double*>(mxMalloc(bytes > 0 ? bytes : 1));
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
    std::size_t weightBytes = 0;
    std::size_t tableBytes = 0;
    workingBytes(K, &weightBytes, &tableBytes);

    const double* alpha = mxGetPr(prhs[0]);
    const double* beta = mxGetPr(prhs[1]);
    const double* transmat = mxGetPr(prhs[2]);
    const double* obslik = mxGetPr(prhs[3]);
    // The core adds into the counts.
    plhs[0] = newResultMatrix(K, K, ResultStart::zeros);
    double* counts = mxGetPr(plhs[0]);

    // The fast path also needs the step sums and, per thread, the steps side
    // by side; the threads are chosen here so that no worker calls the host.
    const VectorUnit unit = tallyUnitFor(widestVectorUnit(), static_cast<std::int32_t>(K));
    const double operations = 5.0 * static_cast<double>(K) * static_cast<double>(K) *
                              (T > 1 ? static_cast<double>(T - 1) : 0.0);
    const int threads = threadsWorthStarting(operations, threadsForWork(operations));
    const std::size_t workDoubles = tallyWorkingDoubles(unit, static_cast<std::int32_t>(K),
                                                        static_cast<std::int32_t>(T), threads);

    double* w = allocateWork(weightBytes);
    double* X = allocateWork(tableBytes);
    double* work = workDoubles > 0 ? allocateWork(workDoubles * sizeof(double)) : nullptr;
    if (!w || !X || (workDoubles > 0 && !work)) {
        mxFree(w);
        mxFree(X);
        mxFree(work);
        refuse(kNoMemoryMessage);
    }
    tallyTransitionsOnUnit(unit, threads, static_cast<std::int32_t>(K),
                           static_cast<std::int32_t>(T), alpha, beta, transmat, obslik, counts, w,
                           X, work);
    mxFree(w);
    mxFree(X);
    mxFree(work);
}
