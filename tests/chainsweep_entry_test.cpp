// chainsweep's entry layer through the stand-in host: the checks in their
// order, the result slots and the memory of every call.

#include <cmath>

#include "forward_backward.h"
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
    EXPECT_REFUSED(tooManySteps, "The problem is too large: the obslik may have at most "
                                 "2147483647 columns (time steps).");
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

TEST_F(ChainsweepEntry, RefusedCallDestroysTheResultsItCreated)
{
    // The results are created before the core runs; a negative pairwise
    // product (no vector is negative) must leave neither arrays nor blocks.
    Array negative = makeMatrix(2, 2, {1, 1, -0.5, 1});
    Array ones = makeMatrix(2, 2, {1, 1, 1, 1});
    for (int nlhs : {4, 5}) {
        Call call = run(nlhs, {prior.get(), negative.get(), ones.get()});
        EXPECT_REFUSED(call, kNegativeValueMessage);
        EXPECT_EQ(call.outcome.reclaimedBlocks, 0u);
        EXPECT_EQ(call.outcome.reclaimedArrays, 0u);
    }
}

TEST_F(ChainsweepEntry, UnderflowToMinusZeroInThePairwiseTableIsNoError)
{
    // A(0,1) * (alpha(0) * w(1)) = -1e-300 * (1e-10 * 1e-20) underflows to -0.0.
    Array tinyPrior = makeMatrix(2, 1, {1e-10, 1});
    Array A = makeMatrix(2, 2, {1, 1, -1e-300, 1});
    Array tinyLast = makeMatrix(2, 2, {1, 1, 1, 1e-20});
    Call four = run(4, {tinyPrior.get(), A.get(), tinyLast.get()});
    Call five = run(5, {tinyPrior.get(), A.get(), tinyLast.get()});
    EXPECT_CLEAN_SUCCESS(four);
    EXPECT_CLEAN_SUCCESS(five);
    const double product = valuesOf(five.result(3)).at(2);
    EXPECT_TRUE(product == 0 && std::signbit(product));
}

TEST_F(ChainsweepEntry, EmptyChainWithTheLongestSequenceAnswersAtOnce)
{
    // No core run, no working memory: the empty results and -Inf.
    Array none = makeMatrix(0, 0);
    Array longest = makeMatrix(0, 2147483647);
    for (int nlhs : {4, 5}) {
        Call call = run(nlhs, {none.get(), none.get(), longest.get()});
        EXPECT_CLEAN_SUCCESS(call);
        EXPECT_EQ(dimsOf(call.result(0)), (std::vector<mwSize>{0, 2147483647}));
        EXPECT_EQ(valuesOf(call.result(nlhs - 1)).at(0), -INFINITY);
        if (nlhs == 5) {
            EXPECT_EQ(dimsOf(call.result(3)), (std::vector<mwSize>{0, 0, 2147483647}));
        }
    }
}

TEST_F(ChainsweepEntry, ResultsAreThoseOfTheCore)
{
    Call five = run(5, {prior.get(), transmat.get(), obslik.get()});
    EXPECT_CLEAN_SUCCESS(five);
    std::vector<double> gamma(6), alpha(6), beta(6), xi(12);
    const char* failure = nullptr;
    const double logLikelihood = forwardBackwardInPlace(
        gamma.data(), alpha.data(), beta.data(), xi.data(), mxGetPr(prior.get()),
        mxGetPr(transmat.get()), mxGetPr(obslik.get()), 2, 3, VectorUnit::plain, 1, &failure);
    EXPECT_EQ(valuesOf(five.result(0)), gamma);
    EXPECT_EQ(valuesOf(five.result(1)), alpha);
    EXPECT_EQ(valuesOf(five.result(2)), beta);
    EXPECT_EQ(valuesOf(five.result(3)), xi);
    EXPECT_EQ(valuesOf(five.result(4)).at(0), logLikelihood);
}
