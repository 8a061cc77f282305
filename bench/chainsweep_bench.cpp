// Forward-backward smoothing: the whole core over K states and T steps, and
// the matrix-vector kernel against the plain row-by-row loop it replaces.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "forward_backward.h"
#include "kernels.h"
#include "random_inputs.h"
#include "vector_kernels.h"

namespace
{

void BM_ForwardBackward(benchmark::State& state)
{
    const auto K = static_cast<std::size_t>(state.range(0));
    const auto T = static_cast<std::size_t>(state.range(1));
    const double pairwiseBytes = 8.0 * K * K * T;
    if (pairwiseBytes > 8e9) {
        state.SkipWithError("pairwise marginals need more memory than this machine has");
        return;
    }
    std::mt19937_64 generator(1);
    const auto prior = uniformValues(K, &generator, 0.01);
    const auto transmat = uniformValues(K * K, &generator, 0.01);
    const auto obslik = uniformValues(K * T, &generator, 0.01);
    std::vector<double> gamma(K * T), alpha(K * T), beta(K * T), xi(K * K * T);
    for (auto _ : state) {
        const char* failure = nullptr;
        double logLikelihood = forwardBackwardInPlace(
            gamma.data(), alpha.data(), beta.data(), xi.data(), prior.data(), transmat.data(),
            obslik.data(), static_cast<std::int32_t>(K), static_cast<std::int32_t>(T), &failure);
        benchmark::DoNotOptimize(logLikelihood);
        benchmark::ClobberMemory();
    }
    state.counters["steps/s"] =
        benchmark::Counter(static_cast<double>(T), benchmark::Counter::kIsIterationInvariantRate);
}

// The loop order the kernel had before it was interchanged: a dot product per
// row, reading the matrix with stride n.
void multiplyMatrixRowByRow(double* out, const double* M, const double* v, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) {
        out[i] = 0.0;
        for (std::uint32_t j = 0; j < n; ++j) out[i] = out[i] + M[i + std::uint64_t(j) * n] * v[j];
    }
}

template <void (*Multiply)(double*, const double*, const double*, std::uint32_t)>
void BM_MatrixVector(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    std::mt19937_64 generator(4);
    const auto M = uniformValues(std::size_t(n) * n, &generator);
    const auto v = uniformValues(n, &generator);
    std::vector<double> out(n);
    for (auto _ : state) {
        Multiply(out.data(), M.data(), v.data(), n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

// On one vector unit and thread count, four results or five (with the
// pairwise table): arguments K, T, unit (0 plain .. 3 avx512), threads,
// pairwise (0 or 1).
void BM_ForwardBackwardOnUnit(benchmark::State& state)
{
    const auto K = static_cast<std::size_t>(state.range(0));
    const auto T = static_cast<std::size_t>(state.range(1));
    const auto unit = static_cast<VectorUnit>(state.range(2));
    const int threads = static_cast<int>(state.range(3));
    const bool pairwise = state.range(4) != 0;
    if (!vectorUnitAvailable(unit)) {
        state.SkipWithError("vector unit not available");
        return;
    }
    std::mt19937_64 generator(1);
    const auto prior = uniformValues(K, &generator, 0.01);
    const auto transmat = uniformValues(K * K, &generator, 0.01);
    const auto obslik = uniformValues(K * T, &generator, 0.01);
    std::vector<double> gamma(K * T), alpha(K * T), beta(K * T), xi(pairwise ? K * K * T : 0);
    for (auto _ : state) {
        const char* failure = nullptr;
        double logLikelihood = forwardBackwardInPlace(
            gamma.data(), alpha.data(), beta.data(), pairwise ? xi.data() : nullptr, prior.data(),
            transmat.data(), obslik.data(), static_cast<std::int32_t>(K),
            static_cast<std::int32_t>(T), unit, threads, &failure);
        benchmark::DoNotOptimize(logLikelihood);
        benchmark::ClobberMemory();
    }
    state.SetLabel(vectorUnitName(unit));
}

template <VectorUnit unit> void BM_MatrixVectorOnUnit(benchmark::State& state)
{
    if (!vectorUnitAvailable(unit)) {
        state.SkipWithError("vector unit not available");
        return;
    }
    const auto n = static_cast<std::uint32_t>(state.range(0));
    std::mt19937_64 generator(4);
    const auto M = uniformValues(std::size_t(n) * n, &generator);
    const auto v = uniformValues(n, &generator);
    std::vector<double> out(n);
    for (auto _ : state) {
        chainKernels(unit).multiplyMatrix(out.data(), M.data(), v.data(), n);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(BM_ForwardBackwardOnUnit)
    ->ArgsProduct({{8, 128, 256}, {10000}, {0, 1, 2, 3}, {1}, {0}})
    ->Args({128, 10000, 3, 2, 0})
    ->Unit(benchmark::kMillisecond);
// The passes side by side on one thread against one thread each: process CPU
// time (both threads) and wall time.
BENCHMARK(BM_ForwardBackwardOnUnit)
    ->Name("BM_PassesOnThreads")
    ->ArgsProduct({{2, 8, 16, 32, 64, 128}, {100000}, {3}, {1, 2}, {0}})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
// The choice of unit by state count (smootherUnitFor in forward_backward.h),
// CPU time per call. Measured on a 2-core AMD EPYC with AVX-512: every unit
// beats the plain loops at every K (1.5-2.4x at 1 to 8 states); AVX2 beats
// AVX-512 where AVX-512's last register of rows is at least half empty (K
// mod 8 from 4 to 7: at 4, 2.26x against 2.03x the plain loops; at 12, 2.62x
// against 2.08x) up to 31 states, with the pairwise table up to 15 (at 20
// AVX-512 leads there, 3.06x against 2.86x).
BENCHMARK(BM_ForwardBackwardOnUnit)
    ->Name("BM_ForwardBackwardSmallK")
    ->ArgNames({"K", "T", "unit", "threads", "pairwise"})
    ->ArgsProduct({{2, 4, 6, 8, 12, 16, 20, 24, 28, 32}, {1000, 100000}, {0, 1, 2, 3}, {1}, {0, 1}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_MatrixVectorOnUnit, VectorUnit::sse2)->Arg(8)->Arg(128)->Arg(256);
BENCHMARK_TEMPLATE(BM_MatrixVectorOnUnit, VectorUnit::avx2)->Arg(8)->Arg(128)->Arg(256);
BENCHMARK_TEMPLATE(BM_MatrixVectorOnUnit, VectorUnit::avx512)->Arg(8)->Arg(128)->Arg(256);
BENCHMARK(BM_ForwardBackward)
    ->ArgsProduct({{2, 8, 64}, {1000, 100000}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_MatrixVector, multiplyMatrixRowByRow)->Arg(8)->Arg(64)->Arg(256);
BENCHMARK_TEMPLATE(BM_MatrixVector, multiplyMatrixInPlace)->Arg(8)->Arg(64)->Arg(256);
