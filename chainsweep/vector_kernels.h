#pragma once
// The kernels of the smoother that carry its cost, in one version per vector
// unit. Every version computes exactly the bits of the plain loops: products
// are vectorised across independent outputs (rows of a matrix-vector product,
// elements of a pairwise slice, or the sums of several steps side by side),
// and every output keeps its own operations in their order.

#include <cstdint>

#include "vector_unit.h"

// Steps whose pairwise sums one call of sumPairwiseBlock takes side by side.
inline constexpr std::uint32_t kStepsPerBlock = 16;

struct ChainKernels {
    // out = M * v for column-major n-by-n M: out[i] = sum over ascending j of
    // M[i + j*n] * v[j], from 0.0. out must not overlap M or v.
    void (*multiplyMatrix)(double* out, const double* M, const double* v, std::uint32_t n);

    // The sums of kStepsPerBlock pairwise slices: for step s,
    // sums[s] = sum over ascending e = i + j*n of A[e] * (alpha[i*S + s] * weight[j*S + s])
    // with S = kStepsPerBlock, from 0.0. alpha and weight hold the steps
    // interleaved (n rows of S). Returns whether any product is below zero.
    bool (*sumPairwiseBlock)(double* sums, const double* A, const double* alpha,
                             const double* weight, std::uint32_t n);

    // One normalised pairwise slice: xi[e] = p / sum when sum > 0, else p,
    // with p = A[e] * (alpha[i] * weight[j]) and e = i + j*n.
    void (*writePairwiseSlice)(double* xi, const double* A, const double* alpha,
                               const double* weight, double sum, std::uint32_t n);

    // Whether some product A[e] * (alpha[i] * weight[j]) is below zero.
    bool (*pairwiseHasNegative)(const double* A, const double* alpha, const double* weight,
                                std::uint32_t n);

    // normalizeInPlace (kernels.h), with *negative set in place of the
    // failure message.
    double (*normalize)(double* A, std::uint32_t n, bool* negative);

    // One forward step: out = (At * previous) .* observed, normalised;
    // returns the sum it was divided by.
    double (*forwardStep)(double* out, const double* At, const double* previous,
                          const double* observed, std::uint32_t n, bool* negative);

    // One backward step: weighted = next .* observedNext (n scratch values),
    // out = A * weighted, normalised.
    void (*backwardStep)(double* out, double* weighted, const double* A, const double* next,
                         const double* observedNext, std::uint32_t n, bool* negative);

    // One smoothed column: gamma = alpha .* beta, normalised.
    void (*smoothColumn)(double* gamma, const double* alpha, const double* beta, std::uint32_t n,
                         bool* negative);

    // Whether some element of values is below zero (NaN and -0.0 are not).
    bool (*anyBelowZero)(const double* values, std::uint32_t n);

    // out[i] = naturalLog(x[i]) (natural_log.h), several arguments at once.
    void (*naturalLogs)(double* out, const double* x, std::uint32_t n);
};

// The kernels of unit, which must be available (vectorUnitAvailable), or the
// plain loops for VectorUnit::plain.
const ChainKernels& chainKernels(VectorUnit unit);
