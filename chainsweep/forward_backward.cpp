#include "forward_backward.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "kernels.h"
#include "natural_log.h"
#include "work_memory.h"

namespace
{

// Working storage of one smoothing run.
struct Workspace {
    double* transposed; // K*K: the transition matrix transposed, for the forward pass
    double* predicted;  // K
    double* weighted;   // K
    double* outer;      // K*K
};

bool obtainWorkspace(Workspace* work, std::size_t K)
{
    work->transposed = static_cast<double*>(workAllocate(K * K * sizeof(double)));
    work->predicted = static_cast<double*>(workAllocate(K * sizeof(double)));
    work->weighted = static_cast<double*>(workAllocate(K * sizeof(double)));
    work->outer = static_cast<double*>(workAllocate(K * K * sizeof(double)));
    return work->transposed && work->predicted && work->weighted && work->outer;
}

void releaseWorkspace(Workspace* work)
{
    workRelease(work->transposed);
    workRelease(work->predicted);
    workRelease(work->weighted);
    workRelease(work->outer);
}

// Forward pass: normalised alpha columns; returns the sum of the logs of the
// scale factors, added in ascending t. The passes expect *failure to be null
// on entry and stop as soon as it is set.
double forwardPass(double* alpha, const double* prior, const double* transposed,
                   const double* obslik, std::uint32_t K, std::uint32_t T, double* predicted,
                   const char** failure)
{
    double logLikelihood = 0.0;
    multiplyInPlace(alpha, prior, obslik, K);
    double scale = normalizeInPlace(alpha, K, failure);
    if (*failure) return 0.0;
    logLikelihood = logLikelihood + naturalLog(scale);
    for (std::uint32_t t = 1; t < T; ++t) {
        double* current = alpha + static_cast<std::size_t>(t) * K;
        multiplyMatrixInPlace(predicted, transposed, current - K, K);
        multiplyInPlace(current, predicted, obslik + static_cast<std::size_t>(t) * K, K);
        scale = normalizeInPlace(current, K, failure);
        if (*failure) return 0.0;
        logLikelihood = logLikelihood + naturalLog(scale);
    }
    return logLikelihood;
}

// Backward pass with the pairwise and smoothed marginals, from step T-2 down.
void backwardPass(double* gamma, double* beta, double* xi, const double* alpha,
                  const double* transmat, const double* obslik, std::uint32_t K, std::uint32_t T,
                  const Workspace& work, const char** failure)
{
    const std::size_t column = K;
    const std::size_t slice = static_cast<std::size_t>(K) * K;
    const std::size_t last = T - 1;
    for (std::size_t i = 0; i < K; ++i) {
        beta[last * column + i] = 1.0;
        gamma[last * column + i] = alpha[last * column + i];
    }
    for (std::size_t e = 0; e < slice; ++e) xi[last * slice + e] = 0.0;

    for (std::size_t t = last; t-- > 0;) {
        const double* alphaT = alpha + t * column;
        double* betaT = beta + t * column;
        double* xiT = xi + t * slice;
        multiplyInPlace(work.weighted, beta + (t + 1) * column, obslik + (t + 1) * column, K);
        multiplyMatrixInPlace(work.predicted, transmat, work.weighted, K);
        normalizeInPlace(work.predicted, K, failure);
        if (*failure) return;
        std::copy(work.predicted, work.predicted + column, betaT);
        outerProductUVInPlace(work.outer, alphaT, work.weighted, K);
        componentVectorMultiplyInPlace(xiT, transmat, work.outer,
                                       static_cast<std::uint32_t>(slice));
        normalizeInPlace(xiT, static_cast<std::uint32_t>(slice), failure);
        if (*failure) return;
        multiplyInPlace(work.predicted, alphaT, betaT, K);
        normalizeInPlace(work.predicted, K, failure);
        if (*failure) return;
        std::copy(work.predicted, work.predicted + column, gamma + t * column);
    }
}

} // namespace

double forwardBackwardInPlace(double* gamma, double* alpha, double* beta, double* xi,
                              const double* prior, const double* transmat, const double* obslik,
                              std::int32_t K, std::int32_t T, const char** failure)
{
    const auto states = static_cast<std::uint32_t>(K);
    const auto steps = static_cast<std::uint32_t>(T);
    Workspace work{};
    if (!obtainWorkspace(&work, states)) {
        releaseWorkspace(&work);
        *failure = kWorkMemoryMessage;
        return 0.0;
    }
    const char* problem = nullptr;
    transposeSquareInPlace(work.transposed, transmat, states);
    double logLikelihood =
        forwardPass(alpha, prior, work.transposed, obslik, states, steps, work.predicted, &problem);
    if (!problem) {
        backwardPass(gamma, beta, xi, alpha, transmat, obslik, states, steps, work, &problem);
    }
    releaseWorkspace(&work);
    if (problem) *failure = problem;
    return logLikelihood;
}
