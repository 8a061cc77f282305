// Times bestmatch, its dense machine (every shift applied to every element,
// what bestmatch falls back on) and the literal step machine on cost matrices
// read from files: bestmatch_timer FILE... where each file holds two int32
// (M, N) and M*N doubles, column-major. For each file one line: the file,
// the CPU seconds of each solver (median of 3 runs; one run of a solver that
// took more than 2 seconds; -1 for a solver not run), whether all gave the
// same assignment and total, and the total.
//
// A file whose name ends in ".noliteral.bin" is not given to the literal
// machine, one ending in ".nodense.bin" to neither the literal nor the dense
// machine (hours, at sizes where they make n^2/2 passes over the matrix).

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "assignment.h"
#include "bestmatch_literal.h"

namespace
{

using Solver = void (*)(double*, double*, const double*, std::int32_t, std::int32_t, const char**);

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

void literal(double* assignment, double* cost, const double* costs, std::int32_t M, std::int32_t N,
             const char** failure)
{
    bestmatchliteral(assignment, cost, costs, M, N, failure);
}

struct Timed {
    double seconds = -1.0;
    std::vector<double> assignment;
    double cost = 0.0;
};

Timed timeSolver(Solver solver, const std::vector<double>& costs, std::int32_t M, std::int32_t N)
{
    Timed timed;
    timed.assignment.resize(M);
    std::vector<double> times;
    for (int r = 0; r < 3; ++r) {
        const char* failure = nullptr;
        const double start = cpuSeconds();
        solver(timed.assignment.data(), &timed.cost, costs.data(), M, N, &failure);
        times.push_back(cpuSeconds() - start);
        if (failure) std::fprintf(stderr, "failure: %s\n", failure);
        if (times.back() > 2.0) break;
    }
    std::sort(times.begin(), times.end());
    timed.seconds = times[times.size() / 2];
    return timed;
}

bool endsWith(const std::string& name, const std::string& end)
{
    return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

bool same(const Timed& a, const Timed& b)
{
    return b.seconds < 0 || (a.assignment == b.assignment && a.cost == b.cost);
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
        const std::string name = argv[k];
        const bool runDense = !endsWith(name, ".nodense.bin");
        const bool runLiteral = runDense && !endsWith(name, ".noliteral.bin");
        const Timed fast = timeSolver(bestmatch, costs, size[0], size[1]);
        const Timed dense = runDense ? timeSolver(bestmatchstepbystep, costs, size[0], size[1]) : Timed{};
        const Timed plain = runLiteral ? timeSolver(literal, costs, size[0], size[1]) : Timed{};
        const char* verdict = !runDense                                         ? "unchecked"
                              : same(fast, dense) && same(fast, plain) ? "same"
                                                                                : "DIFFERENT";
        std::printf("%s %.4f %.4f %.4f %s %.17g\n", argv[k], fast.seconds, dense.seconds,
                    plain.seconds, verdict, fast.cost);
    }
    return 0;
}
