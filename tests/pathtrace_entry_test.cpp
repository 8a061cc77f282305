// pathtrace through the stand-in host: usage text, result slots, refusals and
// the host memory a call leaves behind.

#include <cmath>
#include <limits>
#include <string>

#include "standin_support.h"

namespace
{

const char kUsage[] =
    "[D,P,S] = pathtrace(O,R,T,C)\n"
    "  O is local cost, R is priors, T is transmat, C is flag to normalize each column\n"
    "  D is matrix of best scores, P returns traceback, S is vector of norm scales\n";

standin::MexFunction pathtrace() { return loadPlugin("pathtrace"); }

// The three-step example: two states, three steps.
struct Example {
    Array O = makeMatrix(2, 3, {0.5, 0.2, 0.1, 0.6, 0.3, 0.3});
    Array R = makeMatrix(2, 1, {0.5, 0.5});
    Array T = makeMatrix(2, 2, {0.9, 0.1, 0.2, 0.8});
    Array on = makeMatrix(1, 1, {1});
    Array off = makeMatrix(1, 1, {0});
};

const std::vector<double> kScaledScores{0.7142857313156128,  0.28571429678371985,
                                        0.3191489199736921,  0.6808511180500858,
                                        0.34526850288578714, 0.6547314562244111};
const std::vector<double> kBackPointers{0, 0, 1, 2, 1, 2};
const std::vector<double> kScales{2.857142925262451, 4.964539051055908, 4.006819725036621};

} // namespace

TEST(PathtraceEntry, TooFewInputsPrintTheUsageTextOnly)
{
    standin::takePrinted();
    const std::size_t before = standin::liveAllocations();
    Array one = makeMatrix(1, 1, {1});
    for (int inputs = 0; inputs < 4; ++inputs) {
        std::vector<const mxArray*> args(static_cast<std::size_t>(inputs), one.get());
        standin::CallOutcome outcome = standin::call(pathtrace(), 0, args);
        EXPECT_TRUE(outcome.completed);
        EXPECT_EQ(outcome.results, std::vector<mxArray*>{nullptr});
        EXPECT_EQ(standin::takePrinted(), kUsage) << inputs << " inputs";
    }
    one.reset();
    EXPECT_EQ(standin::liveAllocations(), before);
}

TEST(PathtraceEntry, TooFewInputsWithAResultRequestedAreRefusedAfterTheUsageText)
{
    standin::takePrinted();
    Array one = makeMatrix(1, 1, {1});
    Call call = callPlugin(pathtrace(), 1, {one.get(), one.get(), one.get()});
    EXPECT_REFUSED(call, "Too few inputs: O, R, T and C are all needed to return results.");
    EXPECT_EQ(standin::takePrinted(), kUsage);
}

TEST(PathtraceEntry, NoResultRequestedComputesNothing)
{
    Example ex;
    standin::takePrinted();
    const std::size_t before = standin::liveAllocations();
    Call call = callPlugin(pathtrace(), 0, {ex.O.get(), ex.R.get(), ex.T.get(), ex.on.get()});
    EXPECT_CLEAN_SUCCESS(call);
    EXPECT_EQ(call.outcome.results, std::vector<mxArray*>{nullptr});
    EXPECT_EQ(standin::liveAllocations(), before);
    EXPECT_EQ(standin::takePrinted(), "");
}

TEST(PathtraceEntry, FillsOneSlotPerRequestedResultUpToThree)
{
    Example ex;
    const std::size_t before = standin::liveAllocations();
    for (int nlhs = 1; nlhs <= 4; ++nlhs) {
        Call call =
            callPlugin(pathtrace(), nlhs, {ex.O.get(), ex.R.get(), ex.T.get(), ex.on.get()});
        EXPECT_CLEAN_SUCCESS(call);
        ASSERT_EQ(call.outcome.results.size(), static_cast<std::size_t>(nlhs));
        EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{2, 3}));
        EXPECT_EQ(valuesOf(call.result(0)), kScaledScores);
        if (nlhs > 1) {
            EXPECT_EQ(valuesOf(call.result(1)), kBackPointers);
        }
        if (nlhs > 2) {
            EXPECT_EQ(dimsOf(call.result(2)), (std::vector<mwSize>{1, 3}));
            EXPECT_EQ(valuesOf(call.result(2)), kScales);
        }
        if (nlhs > 3) {
            EXPECT_EQ(call.result(3), nullptr);
        }
        EXPECT_EQ(standin::takePrinted(), "");
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}

TEST(PathtraceEntry, OnlyTheFirstElementOfCSwitchesNormalisation)
{
    Example ex;
    const double nan = std::nan("");
    const struct {
        std::vector<double> C;
        bool on;
    } cases[] = {{{0, 1}, false}, {{nan}, true}, {{-0.0}, false}, {{-1}, true}, {{1, 0}, true}};
    for (const auto& c : cases) {
        Array C = makeMatrix(1, static_cast<int>(c.C.size()), c.C);
        Call call = callPlugin(pathtrace(), 3, {ex.O.get(), ex.R.get(), ex.T.get(), C.get()});
        EXPECT_CLEAN_SUCCESS(call);
        EXPECT_EQ(valuesOf(call.result(2)), c.on ? kScales : std::vector<double>(3, 0.0))
            << "C(1) = " << c.C[0];
        EXPECT_EQ(valuesOf(call.result(1)), kBackPointers);
    }
}

TEST(PathtraceEntry, PriorsAreReadInStorageOrderWhateverTheirShape)
{
    Example ex;
    Array row = makeMatrix(1, 2, {0.5, 0.5});
    Array longer = makeMatrix(2, 2, {0.5, 0.5, 9, 9});
    Array extra = makeMatrix(1, 1, {42});
    for (const mxArray* R : {row.get(), longer.get()}) {
        Call call =
            callPlugin(pathtrace(), 3, {ex.O.get(), R, ex.T.get(), ex.on.get(), extra.get()});
        EXPECT_CLEAN_SUCCESS(call);
        EXPECT_EQ(valuesOf(call.result(0)), kScaledScores);
        EXPECT_EQ(valuesOf(call.result(2)), kScales);
    }
}

TEST(PathtraceEntry, NoStepsGivesEmptyResults)
{
    Array O = makeMatrix(2, 0);
    Array R = makeMatrix(2, 1, {0.5, 0.5});
    Array T = makeMatrix(2, 2, {1, 0, 0, 1});
    Array C = makeMatrix(1, 1, {1});
    Call call = callPlugin(pathtrace(), 3, {O.get(), R.get(), T.get(), C.get()});
    EXPECT_CLEAN_SUCCESS(call);
    EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{2, 0}));
    EXPECT_EQ(dimsOf(call.result(1)), (std::vector<mwSize>{2, 0}));
    EXPECT_EQ(dimsOf(call.result(2)), (std::vector<mwSize>{1, 0}));
}

TEST(PathtraceEntry, NoStatesGivesEmptyScoresAndInfiniteScales)
{
    Array O = makeMatrix(0, 2);
    Array empty = makeMatrix(0, 0);
    Array C = makeMatrix(1, 1, {1});
    Call call = callPlugin(pathtrace(), 3, {O.get(), empty.get(), empty.get(), C.get()});
    EXPECT_CLEAN_SUCCESS(call);
    EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{0, 2}));
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(valuesOf(call.result(2)), (std::vector<double>{inf, inf}));
}

TEST(PathtraceEntry, RefusesInputsTheRecursionWouldReadPastOrMisread)
{
    Example ex;
    const std::size_t before = standin::liveAllocations();
    {
        Array single = makeArray(2, 3, {}, mxSINGLE_CLASS);
        Array complex = makeArray(2, 1, {}, mxDOUBLE_CLASS, mxCOMPLEX);
        Array sparse = makeSparse(2, 2);
        Array logical = makeArray(1, 1, {}, mxLOGICAL_CLASS);
        Array shortR = makeMatrix(1, 1, {1});
        Array shortT = makeMatrix(1, 3, {1, 1, 1});
        Array emptyC = makeMatrix(0, 1);
        const char* kind = "O, R, T and C must be real, full (non-sparse) double arrays.";
        const auto O = ex.O.get(), R = ex.R.get(), T = ex.T.get(), C = ex.on.get();
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {single.get(), R, T, C}), kind);
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, complex.get(), T, C}), kind);
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, R, sparse.get(), C}), kind);
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, R, T, logical.get()}), kind);
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, shortR.get(), T, C}),
                       "R must hold at least K elements, K being the row count of O.");
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, R, shortT.get(), C}),
                       "T must hold at least K*K elements, K being the row count of O.");
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, R, T, emptyC.get()}),
                       "C must not be empty: its first element switches normalisation.");
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}

// Cells, structs and sparse logicals hold no doubles to read; huge declared
// sizes that hold nothing cost the call nothing beyond its results.
TEST(PathtraceEntry, RefusesEveryOtherClassAndHandlesHugeEmptyShapes)
{
    Example ex;
    const std::size_t before = standin::liveAllocations();
    {
        const char* kind = "O, R, T and C must be real, full (non-sparse) double arrays.";
        Array cell(mxCreateCellMatrix(2, 3));
        const char* names[1] = {"f"};
        Array record(mxCreateStructMatrix(1, 1, 1, names));
        Array sparseLogical(mxCreateSparseLogicalMatrix(2, 2, 1));
        const auto O = ex.O.get(), R = ex.R.get(), T = ex.T.get(), C = ex.on.get();
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {cell.get(), R, T, C}), kind);
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, record.get(), T, C}), kind);
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, R, sparseLogical.get(), C}), kind);
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {O, R, T, cell.get()}), kind);
        // 2^31 - 1 states and no steps: empty results at once.
        Array tall(mxCreateDoubleMatrix(2147483647, 0, mxREAL));
        Array noPriors(mxCreateDoubleMatrix(0, 0, mxREAL));
        const std::size_t saved =
            standin::setAllocationLimit(standin::allocatedBytes() + (1u << 20));
        EXPECT_REFUSED(callPlugin(pathtrace(), 1, {tall.get(), noPriors.get(), noPriors.get(), C}),
                       "R must hold at least K elements, K being the row count of O.");
        // No states over 2^31 - 1 steps: S alone would take 16 GiB, which the host refuses.
        Array wide(mxCreateDoubleMatrix(0, 2147483647, mxREAL));
        EXPECT_REFUSED(callPlugin(pathtrace(), 3, {wide.get(), noPriors.get(), noPriors.get(), C}),
                       standin::kOutOfMemoryMessage);
        standin::setAllocationLimit(saved);
    }
    EXPECT_EQ(standin::liveAllocations(), before);
}
