// Time of the transition-count core over K states and T steps.
//
// Every size of the grid (K up to 256, T up to 1e5) fits in 24 GiB: the
// largest, K = 256 and T = 1e5, holds three K x T inputs of about 205 MB each.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
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

// The division floor: quotients a[e] / b[e] over arrays that stay in cache,
// so that memory does not bound them, in registers of 2, 4 and 8 doubles.
template <int lanes> struct Quotients {
    typedef double Lanes __attribute__((vector_size(lanes * sizeof(double))));
};

#define DIVISION_LOOP(name, lanes, isa)                                                            \
    __attribute__((target(isa), noinline)) void name(const double* a, const double* b, double* q,  \
                                                     std::size_t count)                            \
    {                                                                                              \
        typedef Quotients<lanes>::Lanes Lanes;                                                     \
        for (std::size_t e = 0; e + lanes <= count; e += lanes) {                                  \
            Lanes x, y;                                                                            \
            std::memcpy(&x, a + e, sizeof x);                                                      \
            std::memcpy(&y, b + e, sizeof y);                                                      \
            const Lanes z = x / y;                                                                 \
            std::memcpy(q + e, &z, sizeof z);                                                      \
        }                                                                                          \
    }
DIVISION_LOOP(divideSse2, 2, "sse2")
DIVISION_LOOP(divideAvx2, 4, "avx2,no-fma")
DIVISION_LOOP(divideAvx512, 8, "avx512f,no-fma")
#undef DIVISION_LOOP

// unit as in tallyTransitions (1 sse2, 2 avx2, 3 avx512).
void divisions(benchmark::State& state)
{
    const VectorUnit unit = static_cast<VectorUnit>(state.range(0));
    if (!vectorUnitAvailable(unit)) {
        state.SkipWithError("unit not available");
        return;
    }
    void (*divide)(const double*, const double*, double*, std::size_t) =
        unit == VectorUnit::avx512 ? divideAvx512
        : unit == VectorUnit::avx2 ? divideAvx2
                                   : divideSse2;
    const std::size_t count = 4096;
    std::mt19937_64 generator(5);
    const std::vector<double> a = uniformValues(count, &generator, 0.5, 1.0);
    const std::vector<double> b = uniformValues(count, &generator, 0.5, 1.0);
    std::vector<double> q(count);
    for (auto _ : state) {
        divide(a.data(), b.data(), q.data(), count);
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
// The choice of unit by state count (tallyUnitFor in transition_counts.h),
// one thread, CPU time per call. Measured on a 2-core AMD EPYC with AVX-512:
// the unit whose registers leave the fewest rows of a column to scalar code
// is the fastest or within noise of it (2 states: SSE2, 1.1-1.26x the plain
// loops, where AVX2 and AVX-512 lose; 4 to 7: AVX2, 1.0-2.0x; 8 to 11:
// AVX-512, 1.8-4x; 12 to 15 and 20: AVX2 ahead of AVX-512), except at 3
// states, where every unit is slower than the plain loops (SSE2 0.82-0.98x).
BENCHMARK(tallyTransitions)
    ->Name("BM_TallySmallK")
    ->ArgNames({"K", "T", "unit", "threads"})
    ->ArgsProduct({{2, 3, 4, 5, 6, 7, 8, 12, 16, 20, 24}, {1000, 100000}, {-1, 1, 2, 3}, {1}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(divisions)->ArgName("unit")->DenseRange(1, 3);
