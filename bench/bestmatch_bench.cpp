// Least-cost assignment: the whole solver on n-by-n uniform random costs and
// small-integer costs (many ties and zeros), and on rectangles both ways.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "assignment.h"

namespace
{

enum CostKind { uniform, smallIntegers };

std::vector<double> randomCosts(std::size_t count, CostKind kind, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> real(0.0, 1.0);
    std::uniform_int_distribution<int> integer(0, 9);
    std::vector<double> costs(count);
    for (double& v : costs) v = kind == uniform ? real(rng) : integer(rng);
    return costs;
}

void BM_Bestmatch(benchmark::State& state, CostKind kind)
{
    const auto M = static_cast<std::int32_t>(state.range(0));
    const auto N = static_cast<std::int32_t>(state.range(1));
    const std::vector<double> costs = randomCosts(std::size_t(M) * N, kind, 42);
    std::vector<double> assignment(M);
    double cost = 0.0;
    for (auto _ : state) {
        const char* failure = nullptr;
        bestmatch(assignment.data(), &cost, costs.data(), M, N, &failure);
        if (failure) state.SkipWithError(failure);
        benchmark::DoNotOptimize(cost);
        benchmark::ClobberMemory();
    }
}

void squaresAndRectangles(benchmark::internal::Benchmark* b)
{
    for (int n : {10, 100, 300, 1000}) b->Args({n, n});
    b->Args({500, 1000})->Args({1000, 500});
}

} // namespace

BENCHMARK_CAPTURE(BM_Bestmatch, uniform, uniform)
    ->Apply(squaresAndRectangles)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Bestmatch, small_integers, smallIntegers)
    ->Apply(squaresAndRectangles)
    ->Unit(benchmark::kMillisecond);
