// Result creation through the MEX API (host/results_mex.cpp), the build that
// MATLAB and the stand-in host use: shapes, zero-filled storage whatever the
// start, and discarded results leave nothing for the host to reclaim.

#include "results.h"
#include "standin_support.h"

extern "C" {

static void makesEveryKind(int, mxArray* plhs[], int, const mxArray*[])
{
    plhs[0] = newResultMatrix(2, 3, ResultStart::unset);
    plhs[1] = newResultArray3(2, 3, 4, ResultStart::zeros);
    plhs[2] = newResultArray3(2, 3, 1, ResultStart::unset);
    plhs[3] = newResultScalar(-2.5);
    discardResult(newResultMatrix(5, 5, ResultStart::zeros));
    discardResult(newResultArray3(0, 3, 2, ResultStart::unset));
}

static void discardsThenFails(int, mxArray* plhs[], int, const mxArray*[])
{
    plhs[0] = newResultMatrix(3, 3, ResultStart::unset);
    discardResult(newResultMatrix(4, 4, ResultStart::unset));
    mexErrMsgTxt("refused");
}
}

TEST(HostResults, ShapesAndStartThroughTheMexApi)
{
    const std::size_t before = standin::liveAllocations();
    {
        Call call = callPlugin(makesEveryKind, 4, {});
        EXPECT_CLEAN_SUCCESS(call);
        EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{2, 3}));
        EXPECT_EQ(valuesOf(call.result(0)), std::vector<double>(6, 0.0));
        EXPECT_EQ(dimsOf(call.result(1)), (std::vector<mwSize>{2, 3, 4}));
        EXPECT_EQ(valuesOf(call.result(1)), std::vector<double>(24, 0.0));
        // A trailing singleton dimension is dropped, as the hosts drop it.
        EXPECT_EQ(dimsOf(call.result(2)), (std::vector<mwSize>{2, 3}));
        EXPECT_EQ(valuesOf(call.result(3)), std::vector<double>{-2.5});
        for (int slot = 0; slot < 4; ++slot) {
            EXPECT_TRUE(mxIsDouble(call.result(slot)) && !mxIsComplex(call.result(slot)));
        }
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}

TEST(HostResults, AbandonedCallLeavesOnlyTheSlotsToTheHost)
{
    const std::size_t before = standin::liveAllocations();
    {
        Call call = callPlugin(discardsThenFails, 1, {});
        EXPECT_REFUSED(call, "refused");
        EXPECT_EQ(call.outcome.reclaimedArrays, 0u);
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}
