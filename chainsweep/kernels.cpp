#include "kernels.h"

void multiplyInPlace(double* out, const double* a, const double* b, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) out[i] = a[i] * b[i];
}

void componentVectorMultiplyInPlace(double* out, const double* a, const double* b, std::uint32_t n)
{
    multiplyInPlace(out, a, b, n);
}

// The loops run column by column so that M is read in storage order; each
// out[i] still starts from 0.0 and takes its terms in ascending j, exactly as
// a row-by-row dot product would.
void multiplyMatrixInPlace(double* out, const double* M, const double* v, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) out[i] = 0.0;
    for (std::uint32_t j = 0; j < n; ++j) {
        const double* column = M + static_cast<std::uint64_t>(j) * n;
        const double vj = v[j];
        for (std::uint32_t i = 0; i < n; ++i) out[i] = out[i] + column[i] * vj;
    }
}

void transposeSquareInPlace(double* out, const double* M, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i) {
        double* outColumn = out + static_cast<std::uint64_t>(i) * n;
        for (std::uint32_t j = 0; j < n; ++j)
            outColumn[j] = M[i + static_cast<std::uint64_t>(j) * n];
    }
}

// Column by column, so out is written in storage order; every element is a
// single product, so the order does not touch the values.
void outerProductUVInPlace(double* out, const double* u, const double* v, std::uint32_t n)
{
    for (std::uint32_t j = 0; j < n; ++j) {
        double* column = out + static_cast<std::uint64_t>(j) * n;
        const double vj = v[j];
        for (std::uint32_t i = 0; i < n; ++i) column[i] = u[i] * vj;
    }
}

double normalizeInPlace(double* A, std::uint32_t n, const char** failure)
{
    double sum = 0.0;
    for (std::uint32_t i = 0; i < n; ++i) {
        if (A[i] < 0) {
            *failure = kNegativeValueMessage;
            return sum;
        }
        sum = sum + A[i];
    }
    if (sum > 0) {
        for (std::uint32_t i = 0; i < n; ++i) A[i] = A[i] / sum;
    }
    return sum;
}

bool sumPairwiseBlockPlain(double* sums, const double* A, const double* alpha, const double* weight,
                           std::uint32_t n, std::uint32_t steps)
{
    bool negative = false;
    for (std::uint32_t s = 0; s < steps; ++s) {
        double sum = 0.0;
        for (std::uint32_t j = 0; j < n; ++j) {
            for (std::uint32_t i = 0; i < n; ++i) {
                const double product = A[i + static_cast<std::uint64_t>(j) * n] *
                                       (alpha[i * steps + s] * weight[j * steps + s]);
                if (product < 0) negative = true;
                sum = sum + product;
            }
        }
        sums[s] = sum;
    }
    return negative;
}

void writePairwiseSlicePlain(double* xi, const double* A, const double* alpha, const double* weight,
                             double sum, std::uint32_t n)
{
    for (std::uint32_t j = 0; j < n; ++j) {
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint64_t e = i + static_cast<std::uint64_t>(j) * n;
            const double product = A[e] * (alpha[i] * weight[j]);
            xi[e] = sum > 0 ? product / sum : product;
        }
    }
}

bool pairwiseHasNegativePlain(const double* A, const double* alpha, const double* weight,
                              std::uint32_t n)
{
    for (std::uint32_t j = 0; j < n; ++j) {
        for (std::uint32_t i = 0; i < n; ++i) {
            if (A[i + static_cast<std::uint64_t>(j) * n] * (alpha[i] * weight[j]) < 0) return true;
        }
    }
    return false;
}

double normalizePlain(double* A, std::uint32_t n, bool* negative)
{
    const char* failure = nullptr;
    const double sum = normalizeInPlace(A, n, &failure);
    if (failure) *negative = true;
    return sum;
}

double forwardStepPlain(double* out, const double* At, const double* previous,
                        const double* observed, std::uint32_t n, bool* negative)
{
    multiplyMatrixInPlace(out, At, previous, n);
    multiplyInPlace(out, out, observed, n);
    return normalizePlain(out, n, negative);
}

void backwardStepPlain(double* out, double* weighted, const double* A, const double* next,
                       const double* observedNext, std::uint32_t n, bool* negative)
{
    multiplyInPlace(weighted, next, observedNext, n);
    multiplyMatrixInPlace(out, A, weighted, n);
    normalizePlain(out, n, negative);
}

void smoothColumnPlain(double* gamma, const double* alpha, const double* beta, std::uint32_t n,
                       bool* negative)
{
    multiplyInPlace(gamma, alpha, beta, n);
    normalizePlain(gamma, n, negative);
}

bool anyBelowZeroPlain(const double* values, std::uint32_t n)
{
    for (std::uint32_t i = 0; i < n; ++i)
        if (values[i] < 0) return true;
    return false;
}
