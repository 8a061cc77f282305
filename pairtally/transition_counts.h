#pragma once
// Expected transition counts of a discrete hidden Markov chain, summed over
// time, from forward and backward messages that the caller supplies.

#include <cstdint>

// Adds into out (K-by-K, column-major, row = from, column = to) the two-slice
// table of every pair of consecutive steps, each normalised to sum 1:
//
//   X_t(i, j) = (A(i, j) * alpha(i, t)) * (beta(j, t+1) * obslik(j, t+1))
//   out(i, j) += X_t(i, j) / s_t,  s_t = sum of X_t in row-major order,
//
// for t = T-2 down to 0. alpha, beta and obslik are K-by-T and A is K-by-K,
// all column-major and only read. w (K doubles) and X (K*K doubles) are
// working arrays whose contents are ignored; out is added into, never
// cleared, so a zero-filled out receives the expected counts. Nothing happens
// when K < 1 or T < 2. A step whose table sums to zero turns out into NaN.
void tallyTransitionsInPlace(std::int32_t K, std::int32_t T, const double* alpha,
                             const double* beta, const double* A, const double* obslik, double* out,
                             double* w, double* X);
