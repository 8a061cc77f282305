// The pairtally entry layer through the stand-in host: its tests, their
// order, its result and its memory.

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "environment.h"
#include "standin_support.h"
#include "transition_counts.h"

namespace
{

constexpr char kUsage[] = "requires 4 inputs, and 1 output";
constexpr char kKind[] = "inputs must all be real, double matrices";
constexpr char kSizes[] = "input sizes do not all agree";
constexpr char kSparse[] = "inputs must be full matrices: sparse inputs are not supported";
constexpr char kTooLong[] = "inputs are too large: at most 2147483647 rows and columns";
constexpr char kNoMemory[] = "not enough memory for the K x K working table";

std::vector<double> ramp(int count, double scale)
{
    std::vector<double> values(count);
    for (int e = 0; e < count; ++e) values[e] = 0.1 + scale * ((e * 7) % 11);
    return values;
}

class PairtallyEntry : public ::testing::Test
{
  protected:
    standin::MexFunction pairtally = loadPlugin("pairtally");
    Array alpha = makeMatrix(3, 5, ramp(15, 0.3));
    Array beta = makeMatrix(3, 5, ramp(15, 0.7));
    Array transmat = makeMatrix(3, 3, ramp(9, 0.2));
    Array obslik = makeMatrix(3, 5, ramp(15, 0.9));
    std::size_t liveBefore = standin::liveAllocations();

    // A refused call left the host nothing to reclaim, and nothing of it outlives it.
    void expectRefused(int nlhs, std::initializer_list<const mxArray*> inputs, const char* message)
    {
        const std::size_t before = standin::liveAllocations();
        {
            Call call = callPlugin(pairtally, nlhs, inputs);
            EXPECT_REFUSED(call, message);
            EXPECT_EQ(call.outcome.reclaimedBlocks + call.outcome.reclaimedArrays, 0u);
        }
        EXPECT_EQ(standin::liveAllocations(), before);
    }
};

} // namespace

TEST_F(PairtallyEntry, ReturnsTheCoreResultAndFreesItsWorkingArrays)
{
    {
        Call call =
            callPlugin(pairtally, 1, {alpha.get(), beta.get(), transmat.get(), obslik.get()});
        EXPECT_CLEAN_SUCCESS(call);
        std::vector<double> expected(9, 0.0), w(3), X(9);
        tallyTransitionsInPlace(3, 5, mxGetPr(alpha.get()), mxGetPr(beta.get()),
                                mxGetPr(transmat.get()), mxGetPr(obslik.get()), expected.data(),
                                w.data(), X.data());
        EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{3, 3}));
        EXPECT_EQ(valuesOf(call.result(0)), expected);
        EXPECT_EQ(valuesOf(alpha.get()), ramp(15, 0.3)); // inputs are only read
    }
    EXPECT_EQ(standin::liveAllocations(), liveBefore);
}

TEST_F(PairtallyEntry, EmptyShapesGiveEmptyOrZeroCounts)
{
    Array none = makeMatrix(0, 4), noTable = makeMatrix(0, 0);
    Call empty = callPlugin(pairtally, 1, {none.get(), none.get(), noTable.get(), none.get()});
    EXPECT_CLEAN_SUCCESS(empty);
    EXPECT_EQ(dimsOf(empty.result(0)), (std::vector<mwSize>{0, 0}));
    Array oneStep = makeMatrix(3, 1, {1, 2, 3});
    Call zeros =
        callPlugin(pairtally, 1, {oneStep.get(), oneStep.get(), transmat.get(), oneStep.get()});
    EXPECT_CLEAN_SUCCESS(zeros);
    EXPECT_EQ(valuesOf(zeros.result(0)), std::vector<double>(9, 0.0));
}

TEST_F(PairtallyEntry, RefusesAnyCountButFourInputsAndOneResult)
{
    const mxArray* a = alpha.get();
    expectRefused(0, {a, a, transmat.get(), a}, kUsage);
    expectRefused(2, {a, a, transmat.get(), a}, kUsage);
    expectRefused(1, {a, a, transmat.get()}, kUsage);
    expectRefused(1, {a, a, transmat.get(), a, a}, kUsage);
    Array complex = makeArray(3, 5, {}, mxDOUBLE_CLASS, mxCOMPLEX);
    expectRefused(1, {a, complex.get(), transmat.get()}, kUsage); // count before type
}

TEST_F(PairtallyEntry, RefusesComplexOrNonDoubleInputsBeforeLookingAtSizes)
{
    Array complex = makeArray(3, 5, {}, mxDOUBLE_CLASS, mxCOMPLEX);
    Array single = makeArray(3, 5, {}, mxSINGLE_CLASS);
    Array wrongSizeSingle = makeArray(2, 2, {}, mxSINGLE_CLASS);
    const mxArray* valid[4] = {alpha.get(), beta.get(), transmat.get(), obslik.get()};
    for (int position = 0; position < 4; ++position) {
        for (const mxArray* bad : {complex.get(), single.get(), wrongSizeSingle.get()}) {
            const mxArray* in[4] = {valid[0], valid[1], valid[2], valid[3]};
            in[position] = bad;
            expectRefused(1, {in[0], in[1], in[2], in[3]}, kKind);
        }
    }
    Array wrongTable = makeMatrix(3, 5);
    expectRefused(1, {alpha.get(), beta.get(), wrongTable.get(), single.get()}, kKind);
}

// Every class a user can pass: none but real double gets past the type tests.
TEST_F(PairtallyEntry, RefusesCellsStructsAndLogicalsAsNotDouble)
{
    Array cell(mxCreateCellMatrix(3, 5));
    const char* names[1] = {"f"};
    Array record(mxCreateStructMatrix(3, 5, 1, names));
    Array sparseLogical(mxCreateSparseLogicalMatrix(3, 5, 1));
    Array logical(mxCreateLogicalMatrix(3, 5));
    for (const mxArray* odd : {cell.get(), record.get(), sparseLogical.get(), logical.get()}) {
        expectRefused(1, {odd, beta.get(), transmat.get(), obslik.get()}, kKind);
        expectRefused(1, {alpha.get(), beta.get(), transmat.get(), odd}, kKind);
    }
}

TEST_F(PairtallyEntry, RefusesSizesThatDoNotAgreeWithTheFirstInput)
{
    Array transposed = makeMatrix(5, 3), rectangular = makeMatrix(3, 5),
          shortRows = makeMatrix(2, 5), fewerSteps = makeMatrix(3, 4);
    expectRefused(1, {alpha.get(), transposed.get(), transmat.get(), obslik.get()}, kSizes);
    expectRefused(1, {alpha.get(), beta.get(), rectangular.get(), obslik.get()}, kSizes);
    expectRefused(1, {alpha.get(), beta.get(), transmat.get(), shortRows.get()}, kSizes);
    expectRefused(1, {alpha.get(), fewerSteps.get(), transmat.get(), obslik.get()}, kSizes);
}

TEST_F(PairtallyEntry, RefusesSparseInputsAfterTheDefinedTests)
{
    Array sparseTable = makeSparse(3, 3), sparseWrong = makeSparse(4, 4);
    expectRefused(1, {alpha.get(), beta.get(), sparseTable.get(), obslik.get()}, kSparse);
    expectRefused(1, {alpha.get(), beta.get(), sparseWrong.get(), obslik.get()}, kSizes);
}

TEST_F(PairtallyEntry, RefusesStepCountsBeyondThirtyTwoBits)
{
    // 0 x 65536 x 32768 holds no element, yet has 2^31 columns: one more
    // than a 32-bit signed count holds, and a count that a 32-bit host can
    // report too.
    const mwSize dims[3] = {0, 65536, 32768};
    Array beyond(mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL));
    Array noTable = makeMatrix(0, 0);
    expectRefused(1, {beyond.get(), beyond.get(), noTable.get(), beyond.get()}, kTooLong);
    if (sizeof(std::size_t) > 4) {
        // 0 x 65536 x 65536: 2^32 columns, which wrap to 0 in 32 bits.
        const mwSize wider[3] = {0, 65536, 65536};
        Array huge(mxCreateNumericArray(3, wider, mxDOUBLE_CLASS, mxREAL));
        expectRefused(1, {huge.get(), huge.get(), noTable.get(), huge.get()}, kTooLong);
    }
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(_WIN32)
// Address-space limits (POSIX's setrlimit): AddressSanitizer reserves far
// more than any limit allows, and valgrind manages the address space itself.

static bool underValgrind()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "vgpreload");
}

// Virtual memory of this process in bytes, from /proc/self/status.
static std::size_t virtualMemory()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    std::size_t kilobytes = 0;
    while (status >> key && key != "VmSize:") status.ignore(1 << 12, '\n');
    status >> kilobytes;
    return kilobytes * 1024;
}

// When the table cannot be had the host ends the call with its own error, as
// Octave and MATLAB do, and takes back the result and w.
TEST_F(PairtallyEntry, RefusesWhenTheWorkingTableCannotBeHad)
{
    if (underValgrind()) GTEST_SKIP() << "address-space limits do not apply under valgrind";
    // 128 MiB per K x K table: more than the 64 MiB heap of a thread arena
    // of the C library, whose reserved space (threads of earlier tests leave
    // such arenas behind) could otherwise grant the table after all.
    const int K = 4096;
    Array square = makeMatrix(K, K), column = makeMatrix(K, 2);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
    // Room for the result (128 MiB) and w, not for the table X as well.
    rlimit tight = saved;
    tight.rlim_cur = virtualMemory() + (144u << 20);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
    const std::size_t before = standin::liveAllocations();
    {
        Call call =
            callPlugin(pairtally, 1, {column.get(), column.get(), square.get(), column.get()});
        setrlimit(RLIMIT_AS, &saved);
        EXPECT_REFUSED(call, standin::kOutOfMemoryMessage);
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}
#endif

TEST_F(PairtallyEntry, TablesBeyondTheHostsLimitEndTheCallWithTheHostsError)
{
    Array big = makeMatrix(600, 2), bigSquare = makeMatrix(600, 600);
    const std::size_t before = standin::liveAllocations();
    // The result (2.9 MB) fits, the table X as well does not.
    const std::size_t saved = standin::setAllocationLimit(standin::allocatedBytes() + (4u << 20));
    {
        Call call = callPlugin(pairtally, 1, {big.get(), big.get(), bigSquare.get(), big.get()});
        EXPECT_REFUSED(call, standin::kOutOfMemoryMessage);
    }
    standin::setAllocationLimit(saved);
    EXPECT_EQ(standin::liveAllocations(), before);
}

// A call large enough to start threads gives the plain loops' bits whatever
// HMM_PLUGINS_THREADS and HMM_PLUGINS_VECTOR_UNIT say, and frees everything.
TEST_F(PairtallyEntry, ThreadAndVectorUnitSettingsLeaveTheBitsUnchanged)
{
    const int K = 67, T = 300;
    Array a = makeMatrix(K, T, ramp(K * T, 0.3)), b = makeMatrix(K, T, ramp(K * T, 0.7));
    Array A = makeMatrix(K, K, ramp(K * K, 0.2)), o = makeMatrix(K, T, ramp(K * T, 0.9));
    std::vector<double> expected(K * K, 0.0), w(K), X(K * K);
    tallyTransitionsInPlace(K, T, mxGetPr(a.get()), mxGetPr(b.get()), mxGetPr(A.get()),
                            mxGetPr(o.get()), expected.data(), w.data(), X.data());
    const std::size_t before = standin::liveAllocations();
    for (const char* threads : {"1", "2", "3"}) {
        for (const char* unit : {"plain", "sse2", "avx2", "avx512"}) {
            setenv("HMM_PLUGINS_THREADS", threads, 1);
            setenv("HMM_PLUGINS_VECTOR_UNIT", unit, 1);
            {
                Call call = callPlugin(pairtally, 1, {a.get(), b.get(), A.get(), o.get()});
                EXPECT_CLEAN_SUCCESS(call);
                const std::vector<double> counts = valuesOf(call.result(0));
                EXPECT_EQ(std::memcmp(counts.data(), expected.data(), counts.size() * 8), 0)
                    << threads << " threads, " << unit;
            }
            EXPECT_EQ(standin::liveAllocations(), before);
        }
    }
    unsetenv("HMM_PLUGINS_THREADS");
    unsetenv("HMM_PLUGINS_VECTOR_UNIT");
}
