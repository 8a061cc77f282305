// pathtrace's results: K-by-N scores D, K-by-N back-pointers P (integers in
// 0..K, column 1 all 0) and the 1-by-N scale factors S, in the slots asked for.

#include <cmath>

#include "fuzz_harness.h"

namespace fuzz
{
namespace
{

std::string check(int nlhs, const std::vector<const mxArray*>& inputs,
                  const std::vector<mxArray*>& results)
{
    if (nlhs < 1) {
        for (const mxArray* result : results) {
            if (result) return "a call that asked for no result returned one";
        }
        return "";
    }
    if (inputs.size() < 4) return "returned results without its four inputs";
    const std::size_t K = mxGetM(inputs[0]);
    const std::size_t N = mxGetN(inputs[0]);
    if (!isRealDoubleMatrix(results[0], K, N)) return "D is not K-by-N";
    if (nlhs >= 2) {
        if (!isRealDoubleMatrix(results[1], K, N)) return "P is not K-by-N";
        const double* P = mxGetPr(results[1]);
        for (std::size_t e = 0; e < K * N; ++e) {
            if (!(P[e] >= 0 && P[e] <= static_cast<double>(K)) || P[e] != std::floor(P[e])) {
                return "a back-pointer is not an integer in 0..K";
            }
            if (e < K && P[e] != 0) return "a back-pointer of column 1 is not 0";
        }
    }
    if (nlhs >= 3 && !isRealDoubleMatrix(results[2], 1, N)) return "S is not 1-by-N";
    return "";
}

} // namespace

const Plugin& pathtracePlugin()
{
    static const Plugin plugin{"pathtrace", 4, {1, 2, 3, 3, 0, 4}, {"KT", "K1", "KK", "11"}, check};
    return plugin;
}

} // namespace fuzz
