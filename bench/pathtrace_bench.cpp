// Time of the Viterbi core over K states and N steps, normalisation off and on.
//
// Every size of the grid (K up to 256, N up to 1e5) fits in 24 GiB: the
// largest holds three K x N arrays (O, D, P) of about 205 MB each.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "best_path.h"
#include "random_inputs.h"

namespace
{

void bestPathScores(benchmark::State& state)
{
    const auto K = static_cast<std::int32_t>(state.range(0));
    const auto N = static_cast<std::int32_t>(state.range(1));
    const bool normalise = state.range(2) != 0;
    const auto unit = static_cast<VectorUnit>(state.range(3));
    if (!vectorUnitAvailable(unit)) {
        state.SkipWithError("unit not available");
        return;
    }
    const std::size_t cells = static_cast<std::size_t>(K) * static_cast<std::size_t>(N);
    std::mt19937_64 generator(42);
    const std::vector<double> O = uniformValues(cells, &generator);
    const std::vector<double> R = uniformValues(static_cast<std::size_t>(K), &generator);
    const std::vector<double> T =
        uniformValues(static_cast<std::size_t>(K) * static_cast<std::size_t>(K), &generator);
    std::vector<double> D(cells);
    std::vector<double> P(cells);
    std::vector<double> S(static_cast<std::size_t>(N));
    for (auto _ : state) {
        bestPathScoresOnUnit(unit, K, N, O.data(), R.data(), T.data(), normalise, D.data(),
                             P.data(), S.data());
        benchmark::DoNotOptimize(D.data());
        benchmark::ClobberMemory();
    }
    // Seconds per candidate: one source state tried for one destination.
    const double candidates = static_cast<double>(K) * K * static_cast<double>(N - 1);
    state.counters["per_candidate"] = benchmark::Counter(
        candidates, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

// unit: 0 plain, 1 sse2, 2 avx2, 3 avx512.
BENCHMARK(bestPathScores)
    ->ArgNames({"K", "N", "normalise", "unit"})
    ->ArgsProduct({{2, 8, 32, 64, 128, 256}, {1000}, {0, 1}, {0, 1, 2, 3}})
    ->ArgsProduct({{64, 256}, {100000}, {1}, {0, 3}})
    ->Unit(benchmark::kMillisecond);
// The choice of unit by state count (bestPathUnitFor in best_path.h), CPU
// time per call with normalisation on. Measured on a 2-core AMD EPYC with
// AVX-512, N = 1e5: every unit is slower than the plain loops up to 5 states
// (0.77-0.86 of their speed at 5), AVX2 passes them at 6 (1.09x) and leads
// AVX-512 up to 8 states (at 8: 1.35x against 1.16x), where one AVX2 group
// holds every destination. From 9 states AVX-512, whose single group then
// runs as two comparison chains, is as fast or faster (at 12: 1.70x against
// 1.54x; at 16: 2.22x against 1.99x; 17 to 24 even; at 28: 2.92x against
// 2.38x).
BENCHMARK(bestPathScores)
    ->Name("BM_BestPathSmallK")
    ->ArgNames({"K", "N", "normalise", "unit"})
    ->ArgsProduct(
        {{2, 4, 5, 6, 8, 9, 10, 12, 16, 17, 20, 24, 28, 32}, {1000, 100000}, {1}, {0, 1, 2, 3}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);
