// Times bestmatch and its step-by-step reference on cost matrices read from
// files: bestmatch_timer FILE... where each file holds two int32 (M, N) and
// M*N doubles, column-major. For each file one line: the file, the CPU
// seconds of each solver (median of 3 runs; the reference runs once above 2 million elements),
// whether both gave the same
// assignment and total, and the total. For a file whose name ends in
// ".noreference.bin" the reference is not run (its time is printed as -1 and
// the answer as "unchecked"): i*j at n = 1000 would take it about half a
// million shifts of a million elements.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
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
        const int referenceRuns = costs.size() > 2000000 ? 1 : 3;
        const double fastTime = medianTime(bestmatch, costs, size[0], size[1], &fast, &fastCost, 3);
        const std::string name = argv[k];
        const std::string skip = ".noreference.bin";
        const bool reference =
            name.size() < skip.size() || name.compare(name.size() - skip.size(), skip.size(), skip);
        const double plainTime = reference ? medianTime(bestmatchstepbystep, costs, size[0],
                                                        size[1], &plain, &plainCost, referenceRuns)
                                           : -1.0;
        const char* verdict = !reference                               ? "unchecked"
                              : fast == plain && fastCost == plainCost ? "same"
                                                                       : "DIFFERENT";
        std::printf("%s %.4f %.4f %s %.17g\n", argv[k], fastTime, plainTime, verdict, fastCost);
    }
    return 0;
}
