#include "transition_counts.h"

#include <cstddef>

// Every step's sum is one chain of K*K dependent additions in a fixed order,
// and that chain bounds the speed. Everything else is arranged to run beneath
// it: the table X is kept row by row (X[i*K + j] holds X(i, j)), so the sum
// reads it in storage order, and the quotients of one step are added into out
// while the table of the next step is formed and summed. For that, out is
// transposed to the same row-by-row layout for the run and transposed back at
// the end. Each element of out still receives the same quotients, formed and
// added in the same order (descending t) as in the plain three-loop form.

namespace
{

// Swaps m(i, j) and m(j, i) for a K-by-K matrix; moves values, computes none.
void transposeSquareInPlace(double* m, std::size_t K)
{
    for (std::size_t j = 1; j < K; ++j) {
        for (std::size_t i = 0; i < j; ++i) {
            const double above = m[i + j * K];
            m[i + j * K] = m[j + i * K];
            m[j + i * K] = above;
        }
    }
}

// w(j) = beta(j) * obslik(j): the weight of arriving in state j, formed once
// per step rather than once per table entry.
void arrivalWeights(double* w, const double* betaNext, const double* obslikNext, std::size_t K)
{
    for (std::size_t j = 0; j < K; ++j) w[j] = betaNext[j] * obslikNext[j];
}

// Forms the first table, X(i, j) = (A(i, j) * alpha(i)) * w(j); returns its
// sum taken row by row.
double fillTable(double* X, const double* A, const double* alphaNow, const double* w, std::size_t K)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < K; ++i) {
        const double alphaI = alphaNow[i];
        double* row = X + i * K;
        for (std::size_t j = 0; j < K; ++j) {
            const double x = (A[i + j * K] * alphaI) * w[j];
            row[j] = x;
            sum = sum + x;
        }
    }
    return sum;
}

// Adds the pending table, divided by its sum, into the transposed out and
// replaces it entry by entry with the next table, as fillTable forms it;
// returns the next table's sum.
double foldAndFillTable(double* outByRow, double* X, double pendingSum, const double* A,
                        const double* alphaNow, const double* w, std::size_t K)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < K; ++i) {
        const double alphaI = alphaNow[i];
        double* row = X + i * K;
        double* outRow = outByRow + i * K;
        for (std::size_t j = 0; j < K; ++j) {
            outRow[j] = outRow[j] + row[j] / pendingSum;
            const double x = (A[i + j * K] * alphaI) * w[j];
            row[j] = x;
            sum = sum + x;
        }
    }
    return sum;
}

// out(e) += X(e) / sum, for the last pending table.
void addNormalised(double* out, const double* X, double sum, std::size_t count)
{
    for (std::size_t e = 0; e < count; ++e) out[e] = out[e] + X[e] / sum;
}

} // namespace

void tallyTransitionsInPlace(std::int32_t K, std::int32_t T, const double* alpha,
                             const double* beta, const double* A, const double* obslik, double* out,
                             double* w, double* X)
{
    if (K < 1 || T < 2) return;
    const auto states = static_cast<std::size_t>(K);
    const std::size_t last = static_cast<std::size_t>(T) - 2;
    transposeSquareInPlace(out, states);

    arrivalWeights(w, beta + (last + 1) * states, obslik + (last + 1) * states, states);
    double pendingSum = fillTable(X, A, alpha + last * states, w, states);
    for (std::size_t t = last; t-- > 0;) {
        arrivalWeights(w, beta + (t + 1) * states, obslik + (t + 1) * states, states);
        pendingSum = foldAndFillTable(out, X, pendingSum, A, alpha + t * states, w, states);
    }
    addNormalised(out, X, pendingSum, states * states);

    transposeSquareInPlace(out, states);
}
