// Times bestmatch and its step-by-step reference on cost matrices read from
// files: bestmatch_timer FILE... where each file holds two int32 (M, N) and
// M*N doubles, column-major. For each file one line: the file, the CPU
// seconds of each solver (median of 3 runs, 1 above 2 million elements), whether both gave the same
// assignment and total, and the total.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "assignment.h"

namespace
{

using Solver = void (*)(double*, double*, const double*, std::int32_t, std::int32_t, const char**);

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

double medianTime(Solver solver, const std::vector<double>& costs, std::int32_t M, std::int32_t N,
                  std::vector<double>* assignment, double* cost, int runs)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        const char* failure = nullptr;
        const double start = cpuSeconds();
        solver(assignment->data(), cost, costs.data(), M, N, &failure);
        times.push_back(cpuSeconds() - start);
        if (failure) std::fprintf(stderr, "failure: %s\n", failure);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    for (int k = 1; k < argc; ++k) {
        std::FILE* file = std::fopen(argv[k], "rb");
        if (!file) return 1;
        std::int32_t size[2] = {0, 0};
        if (std::fread(size, sizeof size[0], 2, file) != 2) return 1;
        std::vector<double> costs(std::size_t(size[0]) * std::size_t(size[1]));
        const std::size_t got = std::fread(costs.data(), sizeof(double), costs.size(), file);
        std::fclose(file);
        if (got != costs.size()) return 1;
        std::vector<double> fast(size[0]), plain(size[0]);
        double fastCost = 0, plainCost = 0;
        const int runs = costs.size() > 2000000 ? 1 : 3;
        const double fastTime =
            medianTime(bestmatch, costs, size[0], size[1], &fast, &fastCost, runs);
        const double plainTime =
            medianTime(bestmatchstepbystep, costs, size[0], size[1], &plain, &plainCost, runs);
        std::printf("%s %.4f %.4f %s %.17g\n", argv[k], fastTime, plainTime,
                    fast == plain && fastCost == plainCost ? "same" : "DIFFERENT", fastCost);
    }
    return 0;
}
