#pragma once
// Expected transition counts of a discrete hidden Markov chain, summed over
// time, from forward and backward messages that the caller supplies.

#include <cstddef>
#include <cstdint>

#include "vector_unit.h"

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

// The unit worth using for K states, at most `widest` (which must be
// available): the quotients go down the rows of a column of the counts, a
// register of rows at a time and the rows left over one by one, so the unit
// that leaves the fewest registers and rows wins, the wider one on a tie.
// At 3 states the plain loops run: measured faster there than 2 lanes and a
// row (bench/pairtally_bench.cpp, BM_TallySmallK).
VectorUnit tallyUnitFor(VectorUnit widest, std::int32_t K);

// Doubles of working memory that tallyTransitionsOnUnit needs beyond w and X
// for this unit and thread count: per thread, the steps side by side, and
// with several threads the T-1 step sums (one thread keeps only two groups
// of sums, on its stack). 0 for the plain unit, for K < 1 or T < 2, or when
// the count would not fit a size_t (then the plain loops run).
std::size_t tallyWorkingDoubles(VectorUnit unit, std::int32_t K, std::int32_t T, int threads);

// The same counts as tallyTransitionsInPlace, bit for bit, on the given
// vector unit and on up to `threads` threads (none of which calls the host):
// first the sums of all steps, several steps at once, split over the threads
// by steps; then the quotients, split by columns of out, each element of out
// receiving them in descending t. work holds tallyWorkingDoubles(unit, K, T,
// threads) doubles. With the plain unit, an unavailable one or no work
// array, the plain loops of tallyTransitionsInPlace run on the calling thread.
void tallyTransitionsOnUnit(VectorUnit unit, int threads, std::int32_t K, std::int32_t T,
                            const double* alpha, const double* beta, const double* A,
                            const double* obslik, double* out, double* w, double* X, double* work);
