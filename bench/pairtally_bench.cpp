// Time of the transition-count core over K states and T steps.
//
// Every size of the grid (K up to 256, T up to 1e5) fits in 24 GiB: the
// largest, K = 256 and T = 1e5, holds three K x T inputs of about 205 MB each.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "random_inputs.h"
#include "transition_counts.h"

namespace
{

void tallyTransitions(benchmark::State& state)
{
    const auto K = static_cast<std::int32_t>(state.range(0));
    const auto T = static_cast<std::int32_t>(state.range(1));
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
    for (auto _ : state) {
        tallyTransitionsInPlace(K, T, alpha.data(), beta.data(), transmat.data(), obslik.data(),
                                out.data(), w.data(), X.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    const double entries = static_cast<double>(table) * static_cast<double>(T - 1);
    // Seconds per table entry and step: the time of one link of the sum's chain.
    state.counters["per_entry"] = benchmark::Counter(
        entries, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK(tallyTransitions)
    ->ArgNames({"K", "T"})
    ->ArgsProduct({{2, 8, 64, 256}, {1000, 100000}})
    ->Unit(benchmark::kMillisecond);
