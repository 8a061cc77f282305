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
};

// The kernels of unit, which must be available (vectorUnitAvailable), or the
// plain loops for VectorUnit::plain.
const ChainKernels& chainKernels(VectorUnit unit);
