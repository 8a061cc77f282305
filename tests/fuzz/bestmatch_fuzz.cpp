// bestmatch's results: an M-by-1 assignment of distinct 1-based columns (0 for
// none) and the 1-by-1 total cost.

#include <cmath>
#include <vector>

#include "fuzz_harness.h"

namespace fuzz
{
namespace
{

std::string check(int nlhs, const std::vector<const mxArray*>& inputs,
                  const std::vector<mxArray*>& results)
{
    if (inputs.size() != 1 || nlhs > 2) return "accepted a wrong argument count";
    const std::size_t M = mxGetM(inputs[0]);
    const std::size_t N = mxGetN(inputs[0]);
    const mxArray* assignment = results[0];
    if (!isRealDoubleMatrix(assignment, M, 1)) return "the assignment is not M-by-1";
    const double* columns = mxGetPr(assignment);
    std::vector<bool> taken(N + 1, false);
    std::size_t pairs = 0;
    for (std::size_t row = 0; row < M; ++row) {
        const double column = columns[row];
        if (!(column >= 0 && column <= static_cast<double>(N)) || column != std::floor(column)) {
            return "an assignment entry is not an integer in 0..N";
        }
        const auto index = static_cast<std::size_t>(column);
        if (index == 0) continue;
        if (taken[index]) return "a column is assigned twice";
        taken[index] = true;
        ++pairs;
    }
    if (pairs > std::min(M, N)) return "more pairs than min(M, N)";
    if (nlhs == 2) {
        if (!isRealDoubleMatrix(results[1], 1, 1)) return "the cost is not a scalar";
        const double cost = mxGetPr(results[1])[0];
        if (!(cost >= 0)) return "the total cost is negative or NaN";
    }
    return "";
}

} // namespace

const Plugin& bestmatchPlugin()
{
    static const Plugin plugin{"bestmatch", 1, {0, 1, 2, 2}, {"KT"}, check};
    return plugin;
}

} // namespace fuzz
