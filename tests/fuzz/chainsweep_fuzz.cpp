// chainsweep's results: gamma, alpha, beta K-by-T, with five results xi
// K-by-K-by-T, and the log-likelihood last.

#include "fuzz_harness.h"

namespace fuzz
{
namespace
{

std::string check(int nlhs, const std::vector<const mxArray*>& inputs,
                  const std::vector<mxArray*>& results)
{
    if (inputs.size() != 3 || (nlhs != 4 && nlhs != 5)) return "accepted a wrong argument count";
    const std::size_t K = mxGetNumberOfElements(inputs[0]);
    const std::size_t T = mxGetN(inputs[2]);
    for (int slot = 0; slot < 3; ++slot) {
        if (!isRealDoubleMatrix(results[slot], K, T)) return "a message table is not K-by-T";
    }
    if (nlhs == 5) {
        const mxArray* xi = results[3];
        const bool flat = T == 1 && mxGetNumberOfDimensions(xi) == 2;
        if (!xi || !mxIsDouble(xi) || (!flat && mxGetNumberOfDimensions(xi) != 3) ||
            mxGetM(xi) != K || mxGetN(xi) != K * T) {
            return "the pairwise marginals are not K-by-K-by-T";
        }
    }
    if (!isRealDoubleMatrix(results[nlhs - 1], 1, 1)) return "the log-likelihood is not a scalar";
    return "";
}

} // namespace

const Plugin& chainsweepPlugin()
{
    static const Plugin plugin{"chainsweep", 3, {4, 5}, {"K1", "KK", "KT"}, check};
    return plugin;
}

} // namespace fuzz
