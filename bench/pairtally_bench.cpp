// Time of the transition-count core over K states and T steps.
//
// Every size of the grid (K up to 256, T up to 1e5) fits in 24 GiB: the
// largest, K = 256 and T = 1e5, holds three K x T inputs of about 205 MB each.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "parallel.h"
#include "random_inputs.h"
#include "transition_counts.h"

namespace
{

// unit: -1 the plain loops of tallyTransitionsInPlace, else a VectorUnit;
// threads: 1, or 0 for configuredThreads().
void tallyTransitions(benchmark::State& state)
{
    const auto K = static_cast<std::int32_t>(state.range(0));
    const auto T = static_cast<std::int32_t>(state.range(1));
    const int unitNumber = static_cast<int>(state.range(2));
    const int threads = state.range(3) > 0 ? static_cast<int>(state.range(3)) : configuredThreads();
    const VectorUnit unit =
        unitNumber < 0 ? VectorUnit::plain : static_cast<VectorUnit>(unitNumber);
    if (!vectorUnitAvailable(unit)) {
        state.SkipWithError("unit not available");
        return;
    }
    const std::size_t sequence = static_cast<std::size_t>(K) * static_cast<std::size_t>(T);
    const std::size_t table = static_cast<std::size_t>(K) * static_cast<std::size_t>(K);
    std::mt19937_64 generator(42);
    const std::vector<double> alpha = uniformValues(sequence, &generator);
    const std::vector<double> beta = uniformValues(sequence, &generator);
    const std::vector<double> transmat = uniformValues(table, &generator);
    const std::vector<double> obslik = uniformValues(sequence, &generator);
    std::vector<double> out(table);
    std::vector<double> w(static_cast<std::size_t>(K));
    std::vector<double> X(table);
    std::vector<double> work(tallyWorkingDoubles(unit, K, T, threads));
    for (auto _ : state) {
        tallyTransitionsOnUnit(unit, threads, K, T, alpha.data(), beta.data(), transmat.data(),
                               obslik.data(), out.data(), w.data(), X.data(),
                               work.empty() ? nullptr : work.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double entries = static_cast<double>(table) * static_cast<double>(T - 1);
    // Seconds per table entry and step: the time of one link of the sum's chain.
    state.counters["per_entry"] = benchmark::Counter(
        entries, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The division floor: count quotients a[e] / b[e] on the widest unit the
// compiler's auto-vectorisation reaches here (SSE2 at -O2), over arrays that
// stay in cache, so that memory does not bound it.
void divisions(benchmark::State& state)
{
    const std::size_t count = 4096;
    std::mt19937_64 generator(5);
    const std::vector<double> a = uniformValues(count, &generator, 0.5, 1.0);
    const std::vector<double> b = uniformValues(count, &generator, 0.5, 1.0);
    std::vector<double> q(count);
    for (auto _ : state) {
        for (std::size_t e = 0; e < count; ++e) q[e] = a[e] / b[e];
        benchmark::DoNotOptimize(q.data());
        benchmark::ClobberMemory();
    }
    state.counters["per_division"] = benchmark::Counter(
        double(count), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

// unit: -1 plain loops, 1 sse2, 2 avx2, 3 avx512; threads 1 or 0 (all).
BENCHMARK(tallyTransitions)
    ->ArgNames({"K", "T", "unit", "threads"})
    ->ArgsProduct({{2, 8, 64, 256}, {1000, 100000}, {-1, 1, 2, 3}, {1}})
    ->ArgsProduct({{64, 256}, {100000}, {3}, {0}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(divisions);
