#include "forward_backward.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernels.h"
#include "parallel.h"
#include "vector_kernels.h"
#include "work_memory.h"

// How the work is organised. The forward pass (alpha, the log-likelihood)
// and the backward recursion (beta) do not depend on each other, so they run
// side by side when two threads are worth it. Once both are known, every
// step's pairwise slice and smoothed column depend on nothing else, so the
// steps are split over threads; the pairwise sums of kStepsPerBlock steps are
// taken side by side in vector lanes, so their long chains of additions
// overlap. Every value is still computed by the operations, in the order, of
// the step-by-step smoother: products A(i,j) * (alpha_t(i) * w(j)), sums from
// 0.0 in ascending index, divisions by the sum.
//
// The negative-value error: the step-by-step smoother stops at the first
// negative element of the forward vectors, then, descending t, of beta_t, the
// pairwise slice t and gamma_t. Whatever stops first, the call ends with the
// same message and no result, so the call fails exactly when any of these
// would hold a negative element; which check finds it first does not matter.

namespace
{

struct Problem {
    double* gamma;
    double* alpha;
    double* beta;
    double* xi; // null: only the negative test of the pairwise products
    const double* prior;
    const double* transmat;
    const double* transposed;
    const double* obslik;
    std::size_t K;
    std::size_t T;
    const ChainKernels* kernels;
    bool transitionNegative; // some element of transmat below zero
    // Whether a pairwise product may be below zero: once both passes have
    // succeeded no element of alpha or beta is, so a product A(i,j) *
    // (alpha(i) * beta(j) * obslik(j)) can only be when an element of transmat
    // or of obslik's columns 1 .. T-1 is (a product of factors none of which
    // is below zero is never below zero: -0.0 gives a zero, NaN a NaN).
    bool pairwiseMayBeNegative;
};

bool anyBelowZero(const double* values, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (values[i] < 0) return true;
    return false;
}

// The fewest states for which the two passes run on a thread each.
constexpr std::size_t kPassThreadStates = 64;

// Steps whose scale factors are kept before their logarithms are taken
// together (side by side in vector lanes) and added in order.
constexpr std::size_t kScalesPerBlock = 64;

// sum + log(scales[0]) + log(scales[1]) + ..., added in this order.
double addLogarithms(const Problem& p, double sum, const double* scales, std::size_t n)
{
    double logs[kScalesPerBlock];
    p.kernels->naturalLogs(logs, scales, static_cast<std::uint32_t>(n));
    for (std::size_t i = 0; i < n; ++i) sum = sum + logs[i];
    return sum;
}

// Whether some element of values is below zero, in pieces the kernel counts.
bool anyBelowZero(const ChainKernels& kernels, const double* values, std::size_t n)
{
    constexpr std::size_t kPiece = std::size_t(1) << 24;
    for (std::size_t first = 0; first < n; first += kPiece) {
        const std::size_t count = std::min(kPiece, n - first);
        if (kernels.anyBelowZero(values + first, static_cast<std::uint32_t>(count))) return true;
    }
    return false;
}

// The forward pass as it goes: the log-likelihood so far and the scale
// factors whose logarithms are still to be added.
struct ForwardSums {
    double sum;
    double scales[kScalesPerBlock];
    std::size_t kept;
};

// alpha column t (t = 0 from the prior); false on a negative value.
bool forwardStep(const Problem& p, std::size_t t, ForwardSums* sums)
{
    const auto K = static_cast<std::uint32_t>(p.K);
    bool negative = false;
    double* current = p.alpha + t * p.K;
    double scale;
    if (t == 0) {
        multiplyInPlace(current, p.prior, p.obslik, K);
        scale = p.kernels->normalize(current, K, &negative);
    } else {
        scale = p.kernels->forwardStep(current, p.transposed, current - p.K, p.obslik + t * p.K, K,
                                       &negative);
    }
    if (negative) return false;
    if (sums->kept == kScalesPerBlock) {
        sums->sum = addLogarithms(p, sums->sum, sums->scales, sums->kept);
        sums->kept = 0;
    }
    sums->scales[sums->kept++] = scale;
    return true;
}

// beta column t < T-1 from column t+1; weighted is K scratch values. False on
// a negative value.
bool backwardStep(const Problem& p, std::size_t t, double* weighted)
{
    bool negative = false;
    double* current = p.beta + t * p.K;
    p.kernels->backwardStep(current, weighted, p.transmat, current + p.K, p.obslik + (t + 1) * p.K,
                            static_cast<std::uint32_t>(p.K), &negative);
    return !negative;
}

// alpha and the log-likelihood; false on a negative value.
bool forwardPass(const Problem& p, double* logLikelihood)
{
    ForwardSums sums{0.0, {}, 0};
    for (std::size_t t = 0; t < p.T; ++t)
        if (!forwardStep(p, t, &sums)) return false;
    *logLikelihood = addLogarithms(p, sums.sum, sums.scales, sums.kept);
    return true;
}

// beta from step T-1 down. False on a negative value.
bool backwardPass(const Problem& p, double* weighted)
{
    std::fill(p.beta + (p.T - 1) * p.K, p.beta + p.T * p.K, 1.0);
    for (std::size_t t = p.T - 1; t-- > 0;)
        if (!backwardStep(p, t, weighted)) return false;
    return true;
}

// Both passes on one thread, a forward and a backward step in turn: each is a
// chain of dependent operations, and two independent chains side by side
// keep the processor busy where one would leave it waiting.
bool bothPasses(const Problem& p, double* weighted, double* logLikelihood)
{
    ForwardSums sums{0.0, {}, 0};
    std::fill(p.beta + (p.T - 1) * p.K, p.beta + p.T * p.K, 1.0);
    if (!forwardStep(p, 0, &sums)) return false;
    for (std::size_t t = 1; t < p.T; ++t) {
        if (!forwardStep(p, t, &sums) || !backwardStep(p, p.T - 1 - t, weighted)) return false;
    }
    *logLikelihood = addLogarithms(p, sums.sum, sums.scales, sums.kept);
    return true;
}

// w = beta_{t+1} .* obslik column t+1, the weights of pairwise slice t.
void weightsOf(double* w, const Problem& p, std::size_t t)
{
    multiplyInPlace(w, p.beta + (t + 1) * p.K, p.obslik + (t + 1) * p.K,
                    static_cast<std::uint32_t>(p.K));
}

// Pairwise slices of steps [first, end), all below T-1, in blocks of
// kStepsPerBlock. scratch: (2 * kStepsPerBlock + 1) * K values.
bool pairwiseSlices(const Problem& p, std::size_t first, std::size_t end, double* scratch)
{
    const std::size_t K = p.K;
    const auto n = static_cast<std::uint32_t>(K);
    double* alphaBlock = scratch;
    double* weightBlock = alphaBlock + K * kStepsPerBlock;
    double* w = weightBlock + K * kStepsPerBlock;
    double sums[kStepsPerBlock];
    for (std::size_t block = first; block < end; block += kStepsPerBlock) {
        const std::size_t steps = std::min<std::size_t>(kStepsPerBlock, end - block);
        // Unused lanes hold zeros: their products are never negative.
        std::fill(alphaBlock, alphaBlock + 2 * K * kStepsPerBlock, 0.0);
        for (std::size_t s = 0; s < steps; ++s) {
            const double* alphaT = p.alpha + (block + s) * K;
            weightsOf(w, p, block + s);
            for (std::size_t i = 0; i < K; ++i) {
                alphaBlock[i * kStepsPerBlock + s] = alphaT[i];
                weightBlock[i * kStepsPerBlock + s] = w[i];
            }
        }
        if (p.kernels->sumPairwiseBlock(sums, p.transmat, alphaBlock, weightBlock, n)) return false;
        for (std::size_t s = 0; s < steps; ++s) {
            weightsOf(w, p, block + s);
            p.kernels->writePairwiseSlice(p.xi + (block + s) * K * K, p.transmat,
                                          p.alpha + (block + s) * K, w, sums[s], n);
        }
    }
    return true;
}

// Without the table: whether a pairwise product of steps [first, end) is
// negative. None is unless a factor is (NaN and -0.0 are not below zero).
bool pairwiseSigns(const Problem& p, std::size_t first, std::size_t end, double* w)
{
    const auto K = static_cast<std::uint32_t>(p.K);
    for (std::size_t t = first; t < end; ++t) {
        const double* alphaT = p.alpha + t * p.K;
        weightsOf(w, p, t);
        if (!p.transitionNegative && !p.kernels->anyBelowZero(w, K) &&
            !p.kernels->anyBelowZero(alphaT, K))
            continue;
        if (p.kernels->pairwiseHasNegative(p.transmat, alphaT, w, K)) return false;
    }
    return true;
}

// Smoothed columns and pairwise slices (or their negative test) of steps
// [first, end). False on a negative value.
bool smoothSteps(const Problem& p, std::size_t first, std::size_t end, double* scratch)
{
    const auto K = static_cast<std::uint32_t>(p.K);
    bool negative = false;
    const std::size_t last = p.T - 1;
    const std::size_t pairwiseEnd = std::min(end, last);
    if (first < pairwiseEnd) {
        const bool fine = p.xi                      ? pairwiseSlices(p, first, pairwiseEnd, scratch)
                          : p.pairwiseMayBeNegative ? pairwiseSigns(p, first, pairwiseEnd, scratch)
                                                    : true;
        if (!fine) return false;
    }
    for (std::size_t t = first; t < end; ++t) {
        double* gammaT = p.gamma + t * p.K;
        const double* alphaT = p.alpha + t * p.K;
        if (t == last) {
            std::copy(alphaT, alphaT + p.K, gammaT);
            if (p.xi) std::fill(p.xi + last * p.K * p.K, p.xi + p.T * p.K * p.K, 0.0);
            continue;
        }
        p.kernels->smoothColumn(gammaT, alphaT, p.beta + t * p.K, K, &negative);
        if (negative) return false;
    }
    return true;
}

} // namespace

double forwardBackwardInPlace(double* gamma, double* alpha, double* beta, double* xi,
                              const double* prior, const double* transmat, const double* obslik,
                              std::int32_t K, std::int32_t T, VectorUnit unit, int threads,
                              const char** failure)
{
    // No states: every output is empty and each scale factor is ln 0.
    if (K <= 0) return -INFINITY;
    threads = std::max(1, std::min(threads, 256));
    const auto states = static_cast<std::size_t>(K);
    const auto steps = static_cast<std::size_t>(T);
    const double work = static_cast<double>(states) * static_cast<double>(states) * steps;

    // Threads for the two passes side by side, and for the steps after them.
    // Below kPassThreadStates states a step is a short chain of dependent
    // operations: both passes interleaved on one thread take less time (and
    // half the processor time) than one thread each.
    const int passThreads =
        states < kPassThreadStates ? 1 : std::min(2, threadsWorthStarting(4 * work, threads));
    const int stepThreads =
        std::min<long long>(threadsWorthStarting(xi ? 3 * work : 4.0 * states * steps, threads),
                            static_cast<long long>(steps));
    const std::size_t stepScratch = (2 * kStepsPerBlock + 1) * states;

    std::size_t square = 0;
    double* block = nullptr;
    if (states < (std::size_t(1) << 28)) {
        square = states * states;
        const std::size_t count = square + states + stepThreads * stepScratch;
        block = static_cast<double*>(workAllocate(count * sizeof(double)));
    }
    if (!block) {
        *failure = kWorkMemoryMessage;
        return 0.0;
    }
    double* transposed = block;
    double* weighted = transposed + square;
    double* stepsScratch = weighted + states;

    transposeSquareInPlace(transposed, transmat, static_cast<std::uint32_t>(states));
    Problem p{gamma,
              alpha,
              beta,
              xi,
              prior,
              transmat,
              transposed,
              obslik,
              states,
              steps,
              &chainKernels(unit),
              anyBelowZero(transmat, square),
              false};
    p.pairwiseMayBeNegative =
        p.transitionNegative || anyBelowZero(*p.kernels, obslik + states, states * (steps - 1));

    double logLikelihood = 0.0;
    bool fine = true;
    if (passThreads > 1) {
        bool passFine[2] = {true, true};
        runParts(passThreads, 2, [&](int part) {
            passFine[part] = part == 0 ? forwardPass(p, &logLikelihood) : backwardPass(p, weighted);
        });
        fine = passFine[0] && passFine[1];
    } else {
        fine = bothPasses(p, weighted, &logLikelihood);
    }
    if (fine) {
        bool stepFine[256];
        runParts(stepThreads, stepThreads, [&](int part) {
            const std::size_t first = steps * part / stepThreads;
            const std::size_t end = steps * (part + 1) / stepThreads;
            stepFine[part] = smoothSteps(p, first, end, stepsScratch + part * stepScratch);
        });
        for (int part = 0; part < stepThreads; ++part) fine = fine && stepFine[part];
    }
    workRelease(block);
    if (!fine) *failure = kNegativeValueMessage;
    return logLikelihood;
}

VectorUnit smootherUnitFor(VectorUnit widest, std::int32_t K, bool pairwise)
{
    const bool halfEmpty = K % 8 >= 4 && K < (pairwise ? 16 : 32);
    return halfEmpty ? unitAtMost(widest, VectorUnit::avx2) : widest;
}

double forwardBackwardInPlace(double* gamma, double* alpha, double* beta, double* xi,
                              const double* prior, const double* transmat, const double* obslik,
                              std::int32_t K, std::int32_t T, const char** failure)
{
    return forwardBackwardInPlace(gamma, alpha, beta, xi, prior, transmat, obslik, K, T,
                                  widestVectorUnit(), 1, failure);
}
