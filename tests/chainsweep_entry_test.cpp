// chainsweep's entry layer through the stand-in host: the checks in their
// order, the result slots and the memory of every call.

#include <cmath>

#include "kernels.h"
#include "standin_support.h"

namespace
{

constexpr char kUsage[] = "chainsweepC requires 3 inputs and 4-5 outputs";
constexpr char kTransition[] = "The transition matrix must be of size KxK.";
constexpr char kObslik[] = "The obslik must have K rows.";
constexpr char kKind[] = "All inputs must be real, full (non-sparse) double arrays.";

class ChainsweepEntry : public PluginEntryTest
{
  protected:
    ChainsweepEntry() : PluginEntryTest("chainsweep") {}

    Array prior = makeMatrix(2, 1, {0.3, 0.7});
    Array transmat = makeMatrix(2, 2, {0.9, 0.2, 0.1, 0.8});
    Array obslik = makeMatrix(2, 3, {0.5, 0.1, 0.2, 0.7, 0.9, 0.3});
};

} // namespace

TEST_F(ChainsweepEntry, RefusesWrongCountsOfInputsAndResults)
{
    for (int nlhs : {0, 1, 3, 6}) {
        Call call = run(nlhs, {prior.get(), transmat.get(), obslik.get()});
        EXPECT_REFUSED(call, kUsage);
    }
    Call twoInputs = run(4, {prior.get(), transmat.get()});
    EXPECT_REFUSED(twoInputs, kUsage);
    Call fourInputs = run(4, {prior.get(), transmat.get(), obslik.get(), obslik.get()});
    EXPECT_REFUSED(fourInputs, kUsage);
}

TEST_F(ChainsweepEntry, ChecksShapesInOrderBeforeKinds)
{
    Array wide = makeMatrix(2, 3);
    Array tall = makeMatrix(3, 2);
    Array threeRows = makeMatrix(3, 3);
    Array singleWide = makeArray(2, 3, {}, mxSINGLE_CLASS);
    Call columns = run(4, {prior.get(), wide.get(), obslik.get()});
    EXPECT_REFUSED(columns, kTransition);
    Call rows = run(4, {prior.get(), tall.get(), obslik.get()});
    EXPECT_REFUSED(rows, kTransition);
    Call obslikRows = run(4, {prior.get(), transmat.get(), threeRows.get()});
    EXPECT_REFUSED(obslikRows, kObslik);
    Call both = run(5, {prior.get(), wide.get(), threeRows.get()});
    EXPECT_REFUSED(both, kTransition);
    Call usageFirst = run(3, {prior.get(), wide.get(), threeRows.get()});
    EXPECT_REFUSED(usageFirst, kUsage);
    Call shapeBeforeKind = run(4, {prior.get(), singleWide.get(), obslik.get()});
    EXPECT_REFUSED(shapeBeforeKind, kTransition);
}

TEST_F(ChainsweepEntry, RefusesInputsItCannotReadAsDenseDoubles)
{
    Array single = makeArray(2, 2, {}, mxSINGLE_CLASS);
    Array complex = makeArray(2, 3, {}, mxDOUBLE_CLASS, mxCOMPLEX);
    Array sparse = makeSparse(2, 1);
    Call a = run(4, {prior.get(), single.get(), obslik.get()});
    EXPECT_REFUSED(a, kKind);
    Call b = run(4, {prior.get(), transmat.get(), complex.get()});
    EXPECT_REFUSED(b, kKind);
    Call c = run(5, {sparse.get(), transmat.get(), obslik.get()});
    EXPECT_REFUSED(c, kKind);
}

TEST_F(ChainsweepEntry, RefusesAnObslikWithoutColumns)
{
    Array noSteps = makeMatrix(2, 0);
    Call call = run(4, {prior.get(), transmat.get(), noSteps.get()});
    EXPECT_REFUSED(call, "The obslik must have at least one column (one time step).");
}

TEST_F(ChainsweepEntry, FourAndFiveResultsAgreeAndTheLogLikelihoodComesLast)
{
    Array priorRow = makeMatrix(1, 2, {0.3, 0.7});
    Call four = run(4, {priorRow.get(), transmat.get(), obslik.get()});
    Call five = run(5, {prior.get(), transmat.get(), obslik.get()});
    EXPECT_CLEAN_SUCCESS(four);
    EXPECT_CLEAN_SUCCESS(five);
    for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(dimsOf(four.result(slot)), (std::vector<mwSize>{2, 3}));
        EXPECT_EQ(valuesOf(four.result(slot)), valuesOf(five.result(slot)));
    }
    EXPECT_EQ(dimsOf(five.result(3)), (std::vector<mwSize>{2, 2, 3}));
    EXPECT_EQ(valuesOf(four.result(3)), valuesOf(five.result(4)));
    const double logLikelihood = valuesOf(five.result(4)).at(0);
    EXPECT_TRUE(std::isfinite(logLikelihood));
    EXPECT_LT(logLikelihood, 0.0);
}

TEST_F(ChainsweepEntry, EmptyChainGivesEmptyResults)
{
    Array none = makeMatrix(0, 0);
    Array noRows = makeMatrix(0, 4);
    Call call = run(5, {none.get(), none.get(), noRows.get()});
    EXPECT_CLEAN_SUCCESS(call);
    EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{0, 4}));
    EXPECT_EQ(dimsOf(call.result(3)), (std::vector<mwSize>{0, 0, 4}));
    EXPECT_EQ(valuesOf(call.result(4)).at(0), -INFINITY);
}

TEST_F(ChainsweepEntry, NegativeValueIsRefusedAlsoWithFourResults)
{
    Array negative = makeMatrix(2, 2, {1, 1, -0.5, 1});
    Array ones = makeMatrix(2, 2, {1, 1, 1, 1});
    Call call = run(4, {prior.get(), negative.get(), ones.get()});
    EXPECT_REFUSED(call, kNegativeValueMessage);
    // The plug-in frees its own buffers before it reports.
    EXPECT_EQ(call.outcome.reclaimedBlocks, 0u);
}

TEST_F(ChainsweepEntry, RefusesSizesThePlatformCannotHoldBeforeAllocating)
{
    const char* tooLarge =
        "The problem is too large: the K-by-K-by-T pairwise marginals cannot be allocated.";
    // 2^31 steps of no state: beyond the core's 32-bit step count.
    Array none = makeMatrix(0, 0);
    const mwSize dims[3] = {0, 65536, 32768};
    Array steps(mxCreateNumericArray(3, dims, mxDOUBLE_CLASS, mxREAL));
    Call tooManySteps = run(5, {none.get(), none.get(), steps.get()});
    EXPECT_REFUSED(tooManySteps, tooLarge);
    EXPECT_EQ(tooManySteps.outcome.reclaimedBlocks, 0u);
    if (sizeof(std::size_t) == 4) {
        // 256 states over 4096 steps: the inputs take 8 MiB, the pairwise
        // marginals 2 GiB, more than a 32-bit address space can give one block.
        const int K = 256, T = 4096;
        Array uniform = makeMatrix(K, 1, std::vector<double>(K, 1.0));
        Array moves = makeMatrix(K, K, std::vector<double>(std::size_t(K) * K, 1.0));
        Array likelihoods = makeMatrix(K, T);
        Call call = run(5, {uniform.get(), moves.get(), likelihoods.get()});
        EXPECT_REFUSED(call, tooLarge);
        EXPECT_EQ(call.outcome.reclaimedBlocks, 0u);
    }
}
