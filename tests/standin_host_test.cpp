// The stand-in host keeps the promises the plug-ins rely on.

#include "host_binding.h"
#include "standin_support.h"

#include <algorithm>
#include <limits>

extern "C" {

// Plain functions in the role of a plug-in's mexFunction.
static void fillsAndFrees(int, mxArray* plhs[], int, const mxArray*[])
{
    void* block = mxMalloc(16);
    mxFree(block);
    plhs[0] = mxCreateDoubleMatrix(2, 3, mxREAL);
}

static void leavesGarbage(int, mxArray* plhs[], int, const mxArray*[])
{
    mxMalloc(8);
    mxCalloc(4, 1);
    mxCreateDoubleMatrix(1, 1, mxREAL);
    plhs[0] = mxCreateDoubleScalar(7);
}

static void failsHalfway(int, mxArray* plhs[], int, const mxArray*[])
{
    plhs[0] = mxCreateDoubleScalar(1);
    mxMalloc(32);
    mexErrMsgTxt("went wrong");
}

static void asksForNothing(int, mxArray* plhs[], int, const mxArray*[])
{
    void* none = mxMalloc(0);
    void* zeroCount = mxCalloc(0, 8);
    void* zeroSize = mxCalloc(8, 0);
    plhs[0] = mxCreateDoubleScalar(none == nullptr && zeroCount == nullptr && zeroSize == nullptr);
    mxFree(none);
    mxFree(zeroCount);
    mxFree(zeroSize);
}

static void asksTooMuch(int, mxArray* plhs[], int nrhs, const mxArray* prhs[])
{
    plhs[0] = mxCreateDoubleScalar(1);
    mxMalloc(16);
    const double request = nrhs > 0 ? mxGetPr(prhs[0])[0] : 0;
    if (request == 0) mxMalloc(std::numeric_limits<size_t>::max());
    if (request == 1) mxCalloc(std::numeric_limits<size_t>::max() / 2, 3);
    if (request == 2) mxCreateDoubleMatrix(46341, 46341, mxREAL); // 17 GB
    if (request == 3) {
        const mwSize dims[3] = {2147483647, 2147483647, 2147483647}; // beyond size_t
        mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL);
    }
    plhs[0] = mxCreateDoubleScalar(2); // never reached
}

static void prints(int, mxArray*[], int, const mxArray*[])
{
    mexPrintf("one line\n");
    mexPrintf("%d %s\n", 2, "lines");
}
}

TEST(StandinHost, NewArraysAreZeroFilledWithTheRequestedShape)
{
    Array matrix(mxCreateDoubleMatrix(2, 3, mxREAL));
    EXPECT_EQ(mxGetM(matrix.get()), 2u);
    EXPECT_EQ(mxGetN(matrix.get()), 3u);
    EXPECT_EQ(valuesOf(matrix.get()), std::vector<double>(6, 0.0));
    const mwSize dims[3] = {2, 2, 4};
    Array cube(mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL));
    EXPECT_EQ(dimsOf(cube.get()), (std::vector<mwSize>{2, 2, 4}));
    EXPECT_EQ(mxGetN(cube.get()), 8u);
    const mwSize flat[3] = {3, 3, 1};
    Array trailing(mxCreateNumericArray(3, flat, mxDOUBLE_CLASS, mxREAL));
    EXPECT_EQ(dimsOf(trailing.get()), (std::vector<mwSize>{3, 3}));
}

TEST(StandinHost, ClassifiesArraysAndValues)
{
    Array single = makeArray(1, 1, {}, mxSINGLE_CLASS);
    Array complex = makeArray(1, 1, {}, mxDOUBLE_CLASS, mxCOMPLEX);
    Array sparse = makeSparse(2, 2);
    EXPECT_FALSE(mxIsDouble(single.get()));
    EXPECT_TRUE(mxIsComplex(complex.get()));
    EXPECT_TRUE(mxIsSparse(sparse.get()));
    EXPECT_FALSE(mxIsFinite(mxGetInf()));
    EXPECT_FALSE(mxIsFinite(std::nan("")));
    EXPECT_TRUE(mxIsInf(-mxGetInf()));
    EXPECT_FALSE(mxIsInf(std::nan("")));
}

TEST(StandinHost, ACallHandsBackItsSlotsAndCountsNothingWhenTidy)
{
    const std::size_t before = standin::liveAllocations();
    {
        Call call = callPlugin(fillsAndFrees, 0, {});
        EXPECT_CLEAN_SUCCESS(call);
        ASSERT_EQ(call.outcome.results.size(), 1u); // one slot even for nlhs = 0
        EXPECT_EQ(mxGetN(call.result(0)), 3u);
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}

TEST(StandinHost, ReclaimsWhatACallLeftBehind)
{
    const std::size_t before = standin::liveAllocations();
    {
        Call call = callPlugin(leavesGarbage, 1, {});
        EXPECT_TRUE(call.outcome.completed);
        EXPECT_EQ(call.outcome.reclaimedBlocks, 2u);
        EXPECT_EQ(call.outcome.reclaimedArrays, 1u);
        EXPECT_EQ(valuesOf(call.result(0)), std::vector<double>{7});
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}

TEST(StandinHost, ErrorAbandonsTheCallAndReturnsNothing)
{
    const std::size_t before = standin::liveAllocations();
    {
        Call call = callPlugin(failsHalfway, 1, {});
        EXPECT_REFUSED(call, "went wrong");
        EXPECT_EQ(call.outcome.reclaimedBlocks, 1u);
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}

TEST(StandinHost, CapturesPrintedText)
{
    standin::takePrinted();
    Call call = callPlugin(prints, 0, {});
    EXPECT_EQ(standin::takePrinted(), "one line\n2 lines\n");
    EXPECT_EQ(standin::takePrinted(), "");
}

TEST(HostBinding, SizeArithmeticRefusesWhatCannotBeHeld)
{
    const std::size_t most = std::numeric_limits<std::size_t>::max();
    std::size_t result = 7;
    EXPECT_TRUE(multiplySizes(0, most, &result));
    EXPECT_EQ(result, 0u);
    // Half the bits of the size type, squared, is one more than it holds:
    // 2^32 squared on 64-bit platforms, 2^16 squared on 32-bit ones.
    const unsigned halfBits = std::numeric_limits<std::size_t>::digits / 2;
    const std::size_t half = std::size_t(1) << halfBits;
    EXPECT_FALSE(multiplySizes(half, half, &result));
    EXPECT_TRUE(multiplySizes(half - 1, half + 1, &result));
    EXPECT_EQ(result, most); // (2^h - 1)(2^h + 1) = 2^2h - 1
    // A quarter of the address space is a block; half of it is one byte
    // more than PTRDIFF_MAX.
    const unsigned bits = std::numeric_limits<std::size_t>::digits;
    EXPECT_TRUE(blockBytes(std::size_t(1) << (bits - 5), 8, &result));
    EXPECT_EQ(result, std::size_t(1) << (bits - 2));
    EXPECT_FALSE(blockBytes(std::size_t(1) << (bits - 4), 8, &result));
    EXPECT_FALSE(blockBytes(most / 8 + 1, 8, &result));
    EXPECT_FALSE(blockBytes(most / 8, 8, &result)); // beyond PTRDIFF_MAX
    EXPECT_TRUE(fitsInt32(2147483647u));
    EXPECT_FALSE(fitsInt32(2147483648u));
}

TEST(HostBinding, OnlyRealFullDoublesAreReadable)
{
    EXPECT_TRUE(isRealFullDouble(makeMatrix(2, 2).get()));
    EXPECT_FALSE(isRealFullDouble(makeArray(2, 2, {}, mxSINGLE_CLASS).get()));
    EXPECT_FALSE(isRealFullDouble(makeArray(2, 2, {}, mxDOUBLE_CLASS, mxCOMPLEX).get()));
    EXPECT_FALSE(isRealFullDouble(makeSparse(2, 2).get()));
}

TEST(StandinHost, ZeroByteRequestsCanReturnNull)
{
    const bool saved = standin::setZeroByteRequestsNull(true);
    {
        Call call = callPlugin(asksForNothing, 1, {});
        EXPECT_CLEAN_SUCCESS(call);
        EXPECT_EQ(valuesOf(call.result(0)), std::vector<double>{1});
    }
    standin::setZeroByteRequestsNull(false);
    {
        Call call = callPlugin(asksForNothing, 1, {});
        EXPECT_CLEAN_SUCCESS(call);
        EXPECT_EQ(valuesOf(call.result(0)), std::vector<double>{0});
    }
    standin::setZeroByteRequestsNull(saved);
}

// Sizes that the size type holds only barely: a product of two halves
// overflows it, and a quarter of it is a declared size no array can fill.
constexpr unsigned kSizeBits = 8 * sizeof(std::size_t);
constexpr std::size_t kHalfWidth = std::size_t(1) << (kSizeBits / 2);
constexpr std::size_t kQuarterOfRange = std::size_t(1) << (kSizeBits - 2);

// Memory that cannot be granted, or a size that cannot be held, ends the call
// with the host's own error; the host takes back all the call made.
TEST(StandinHost, RequestsThatCannotBeGrantedEndTheCallWithTheHostsError)
{
    const std::size_t before = standin::liveAllocations();
    const std::size_t bytesBefore = standin::allocatedBytes();
    const std::size_t saved = standin::setAllocationLimit(std::size_t(1) << 30);
    for (double request : {0, 1, 2, 3}) {
        Array which = makeMatrix(1, 1, {request});
        Call call = callPlugin(asksTooMuch, 1, {which.get()});
        EXPECT_REFUSED(call, standin::kOutOfMemoryMessage);
        EXPECT_EQ(call.outcome.reclaimedBlocks, 1u) << request;
    }
    // Outside a call the host throws.
    EXPECT_THROW(mxCreateDoubleMatrix(46341, 46341, mxREAL), standin::HostError);
    EXPECT_THROW(standin::createArray({kHalfWidth, kHalfWidth, 2}, mxINT8_CLASS),
                 standin::HostError);
    EXPECT_THROW(standin::createArray({kQuarterOfRange, 4}, mxDOUBLE_CLASS), standin::HostError);
    standin::setAllocationLimit(saved);
    EXPECT_EQ(standin::liveAllocations(), before);
    EXPECT_EQ(standin::allocatedBytes(), bytesBefore);
}

TEST(StandinHost, HugeDeclaredSizesThatHoldNothingCostNothing)
{
    const std::size_t bytesBefore = standin::allocatedBytes();
    const std::size_t huge = kQuarterOfRange;
    Array wide(mxCreateDoubleMatrix(0, 2147483647, mxREAL));
    EXPECT_EQ(mxGetN(wide.get()), 2147483647u);
    EXPECT_EQ(mxGetPr(wide.get()), nullptr);
    Array deep(standin::createArray({3, 0, huge}, mxDOUBLE_CLASS));
    EXPECT_EQ(mxGetN(deep.get()), 0u);
    // mwSize is 32 bits: larger dimensions read back saturated.
    const auto reported = static_cast<mwSize>(std::min<std::size_t>(huge, 2147483647u));
    EXPECT_EQ(dimsOf(deep.get()), (std::vector<mwSize>{3, 0, reported}));
    Array sparse(standin::createArray({huge, 4}, mxDOUBLE_CLASS, mxREAL, true));
    EXPECT_EQ(mxGetM(sparse.get()), huge);
    EXPECT_EQ(mxGetN(sparse.get()), 4u);
    EXPECT_EQ(mxGetNumberOfElements(sparse.get()), std::numeric_limits<std::size_t>::max());
    EXPECT_TRUE(mxIsSparse(sparse.get()));
    EXPECT_LT(standin::allocatedBytes() - bytesBefore, 64u);
}

TEST(StandinHost, OffersEveryClassAUserCanPass)
{
    Array sparseLogical(mxCreateSparseLogicalMatrix(3, 4, 2));
    EXPECT_TRUE(mxIsSparse(sparseLogical.get()));
    EXPECT_TRUE(mxIsLogical(sparseLogical.get()));
    EXPECT_FALSE(mxIsDouble(sparseLogical.get()));
    EXPECT_FALSE(mxIsNumeric(sparseLogical.get()));
    Array logical(mxCreateLogicalMatrix(2, 2));
    EXPECT_EQ(mxGetClassID(logical.get()), mxLOGICAL_CLASS);
    EXPECT_EQ(mxGetLogicals(logical.get())[3], false);
    Array cell(mxCreateCellMatrix(2, 3));
    EXPECT_TRUE(mxIsCell(cell.get()));
    EXPECT_EQ(mxGetNumberOfElements(cell.get()), 6u);
    EXPECT_EQ(mxGetPr(cell.get()), nullptr);
    EXPECT_EQ(mxGetCell(cell.get(), 0), nullptr);
    const char* names[2] = {"a", "b"};
    Array record(mxCreateStructMatrix(1, 1, 2, names));
    EXPECT_TRUE(mxIsStruct(record.get()));
    EXPECT_EQ(mxGetNumberOfFields(record.get()), 2);
    EXPECT_EQ(mxGetPr(record.get()), nullptr);
    EXPECT_FALSE(isRealFullDouble(record.get()));
    Array text = makeArray(1, 3, {}, mxCHAR_CLASS);
    EXPECT_TRUE(mxIsChar(text.get()));
    Array integers = makeArray(1, 3, {}, mxINT32_CLASS);
    EXPECT_TRUE(mxIsNumeric(integers.get()));
    EXPECT_EQ(mxGetElementSize(integers.get()), 4u);
    EXPECT_EQ(mxGetClassID(makeArray(1, 1, {}, mxSINGLE_CLASS).get()), mxSINGLE_CLASS);
    EXPECT_TRUE(mxIsEmpty(makeMatrix(0, 5).get()));
}
