#pragma once
// Vector and matrix kernels of the forward-backward smoother.
//
// Output array first, then inputs, then the count. Square matrices are n-by-n
// and column-major: element (i, j) lies at i + j*n. Every sum starts from 0.0
// and adds in ascending index order, so results are reproducible bit for bit.
// Outputs of the square kernels must not overlap their inputs.

#include <cstdint>

inline constexpr char kNegativeValueMessage[] =
    "We don't want to normalize if A contains a negative value. This is a logical error.";

// out[i] = a[i] * b[i].
void multiplyInPlace(double* out, const double* a, const double* b, std::uint32_t n);

// The same element-wise product, the name used for whole K*K tables.
void componentVectorMultiplyInPlace(double* out, const double* a, const double* b, std::uint32_t n);

// out = M * v: out[i] = sum over ascending j of M[i + j*n] * v[j].
void multiplyMatrixInPlace(double* out, const double* M, const double* v, std::uint32_t n);

// out = transpose(M).
void transposeSquareInPlace(double* out, const double* M, std::uint32_t n);

// out = u * transpose(v): out[i + j*n] = u[i] * v[j].
void outerProductUVInPlace(double* out, const double* u, const double* v, std::uint32_t n);

// Divides A by its sum when the sum is positive and returns the sum before
// division (also when A is left as it is: a zero or NaN sum). An element below
// zero stops it before anything is divided: *failure is set to
// kNegativeValueMessage, A is unchanged and the result means nothing.
// *failure is left alone on success.
double normalizeInPlace(double* A, std::uint32_t n, const char** failure);

// The plain loops behind the pairwise tables, the reference of every vector
// version (vector_kernels.h). The products are those of the tables,
// A[e] * (alpha[i] * weight[j]) with e = i + j*n.

// The sums of kStepsPerBlock slices, steps interleaved in alpha and weight
// (row i of alpha holds alpha[i*steps + s]); true when a product is negative.
bool sumPairwiseBlockPlain(double* sums, const double* A, const double* alpha, const double* weight,
                           std::uint32_t n, std::uint32_t steps);

// xi[e] = p / sum when sum > 0, else p.
void writePairwiseSlicePlain(double* xi, const double* A, const double* alpha, const double* weight,
                             double sum, std::uint32_t n);

// Whether a product is below zero.
bool pairwiseHasNegativePlain(const double* A, const double* alpha, const double* weight,
                              std::uint32_t n);

// The plain steps of the smoother, the reference of the vector versions of
// vector_kernels.h; *negative is set where normalizeInPlace would fail.
double normalizePlain(double* A, std::uint32_t n, bool* negative);
double forwardStepPlain(double* out, const double* At, const double* previous,
                        const double* observed, std::uint32_t n, bool* negative);
void backwardStepPlain(double* out, double* weighted, const double* A, const double* next,
                       const double* observedNext, std::uint32_t n, bool* negative);
void smoothColumnPlain(double* gamma, const double* alpha, const double* beta, std::uint32_t n,
                       bool* negative);
bool anyBelowZeroPlain(const double* values, std::uint32_t n);
