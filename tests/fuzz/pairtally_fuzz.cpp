// pairtally's result: the K-by-K expected transition counts.

#include "fuzz_harness.h"

namespace fuzz
{
namespace
{

std::string check(int nlhs, const std::vector<const mxArray*>& inputs,
                  const std::vector<mxArray*>& results)
{
    if (inputs.size() != 4 || nlhs != 1) return "accepted a wrong argument count";
    const std::size_t K = mxGetM(inputs[0]);
    const std::size_t T = mxGetN(inputs[0]);
    // N-dimensional inputs are read as K-by-(product of the rest), as mxGetN counts them.
    for (const mxArray* input : inputs) {
        if (!mxIsDouble(input) || mxIsComplex(input) || mxIsSparse(input)) {
            return "accepted an input that is not real full double";
        }
    }
    if (mxGetM(inputs[1]) != K || mxGetN(inputs[1]) != T || mxGetM(inputs[3]) != K ||
        mxGetN(inputs[3]) != T || mxGetM(inputs[2]) != K || mxGetN(inputs[2]) != K) {
        return "accepted inputs whose sizes disagree";
    }
    if (!isRealDoubleMatrix(results[0], K, K)) return "the counts are not K-by-K";
    return "";
}

} // namespace

const Plugin& pairtallyPlugin()
{
    static const Plugin plugin{"pairtally", 4, {1}, {"KT", "KT", "KK", "KT"}, check};
    return plugin;
}

} // namespace fuzz
