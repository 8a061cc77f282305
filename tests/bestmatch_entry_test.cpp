// bestmatch's entry layer through the stand-in host: argument checks, result
// slots and the memory of every call.

#include "assignment.h"
#include "standin_support.h"

namespace
{

constexpr char kUsage[] = "requires 1 input and at most 2 outputs";
constexpr char kKind[] =
    "The cost matrix must be a real, full (non-sparse), two-dimensional double matrix.";

class BestmatchEntry : public PluginEntryTest
{
  protected:
    BestmatchEntry() : PluginEntryTest("bestmatch") {}

    Array oneToNine = makeMatrix(3, 3, {1, 4, 7, 2, 5, 8, 3, 6, 9}); // (1 2 3; 4 5 6; 7 8 9)
};

} // namespace

TEST_F(BestmatchEntry, RefusesWrongArguments)
{
    Array single = makeArray(2, 2, {}, mxSINGLE_CLASS);
    Array complex = makeArray(2, 2, {}, mxDOUBLE_CLASS, mxCOMPLEX);
    Array sparse = makeSparse(2, 2);
    const mwSize dims[3] = {2, 2, 2};
    Array cube(mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL));
    Call none = run(1, {});
    EXPECT_REFUSED(none, kUsage);
    Call two = run(2, {oneToNine.get(), oneToNine.get()});
    EXPECT_REFUSED(two, kUsage);
    Call three = run(3, {oneToNine.get()});
    EXPECT_REFUSED(three, kUsage);
    for (const mxArray* input : {single.get(), complex.get(), sparse.get(), cube.get()}) {
        Call call = run(2, {input});
        EXPECT_REFUSED(call, kKind);
    }
}

TEST_F(BestmatchEntry, BadCostsAreRefusedAfterTheSolverFreedItsMemory)
{
    Array negative = makeMatrix(2, 2, {1, 2, -1e-300, 4});
    Array nan = makeMatrix(2, 2, {1, NAN, 3, 4});
    Array tooLarge = makeMatrix(1, 2, {1e308, INFINITY});
    const std::pair<const mxArray*, const char*> cases[] = {
        {negative.get(), kNegativeCostMessage},
        {nan.get(), kNanCostMessage},
        {tooLarge.get(), kReplacementOverflowMessage}};
    for (const auto& [input, message] : cases) {
        for (int nlhs : {1, 2}) {
            Call call = run(nlhs, {input});
            EXPECT_REFUSED(call, message);
            EXPECT_EQ(call.outcome.reclaimedBlocks, 0u);
        }
    }
}

TEST_F(BestmatchEntry, FillsOnlyTheSlotsTheHostProvides)
{
    for (int nlhs : {0, 1, 2}) {
        Call call = run(nlhs, {oneToNine.get()});
        EXPECT_CLEAN_SUCCESS(call);
        ASSERT_EQ(call.outcome.results.size(), std::size_t(nlhs == 2 ? 2 : 1));
        EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{3, 1}));
        EXPECT_EQ(valuesOf(call.result(0)), (std::vector<double>{2, 1, 3}));
        if (nlhs == 2) {
            EXPECT_EQ(dimsOf(call.result(1)), (std::vector<mwSize>{1, 1}));
            EXPECT_EQ(valuesOf(call.result(1)), std::vector<double>{15});
        }
    }
}

TEST_F(BestmatchEntry, EmptyMatricesGiveEmptyOrZeroAssignments)
{
    Array noRows = makeMatrix(0, 3);
    Array noColumns = makeMatrix(3, 0);
    Call a = run(2, {noRows.get()});
    EXPECT_CLEAN_SUCCESS(a);
    EXPECT_EQ(dimsOf(a.result(0)), (std::vector<mwSize>{0, 1}));
    EXPECT_EQ(valuesOf(a.result(1)), std::vector<double>{0});
    Call b = run(2, {noColumns.get()});
    EXPECT_CLEAN_SUCCESS(b);
    EXPECT_EQ(valuesOf(b.result(0)), (std::vector<double>{0, 0, 0}));
}

TEST_F(BestmatchEntry, EmptyMatrixWithAHugeOtherCountAnswersAtOnce)
{
    // 0-by-(2^31 - 1) holds no data; working buffers sized by the column
    // count would take tens of gigabytes.
    Array noRows = makeMatrix(0, 2147483647);
    Call call = run(2, {noRows.get()});
    EXPECT_CLEAN_SUCCESS(call);
    EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{0, 1}));
    EXPECT_EQ(valuesOf(call.result(1)), std::vector<double>{0});
}
