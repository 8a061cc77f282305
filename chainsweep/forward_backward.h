#pragma once
// Forward-backward smoothing of a discrete hidden Markov chain.

#include <cstdint>

#include "vector_unit.h"

inline constexpr char kWorkMemoryMessage[] = "Not enough memory for the working buffers.";

// Smooths a chain of K states over T >= 1 steps.
//
// Inputs: prior (K values), transmat (K-by-K, row = from, column = to),
// obslik (K-by-T). Outputs, every element written: gamma, alpha, beta (K-by-T
// smoothed marginals, scaled forward and normalised backward messages) and,
// unless xi is null, xi (K-by-K-by-T pairwise marginals; slice T-1 is zero).
// Without xi no pairwise table is held at all: only whether one of its
// products is negative is decided, step by step, as its normalisation would.
// Returns the log-likelihood, the sum of the logs of the forward scale factors.
//
// unit picks the kernels (it must be available, see vectorUnitAvailable);
// threads is the most threads the call may use. Both change the speed alone:
// every result is the same bit for bit.
//
// Working memory: O(K*K + threads*K). For K = 0 nothing is allocated.
//
// On failure (a negative value met while normalising, or no working memory)
// *failure receives the message, the outputs hold partial results and the
// returned value means nothing. *failure is left alone on success.
double forwardBackwardInPlace(double* gamma, double* alpha, double* beta, double* xi,
                              const double* prior, const double* transmat, const double* obslik,
                              std::int32_t K, std::int32_t T, VectorUnit unit, int threads,
                              const char** failure);

// The unit worth using for K states, at most `widest` (which must be
// available): AVX2 rather than AVX-512 where AVX-512's last register of rows
// would be at least half empty (K mod 8 from 4 to 7), below 32 states, or 16
// with the pairwise table, whose slices fill AVX-512's registers better. As
// measured with bench/chainsweep_bench.cpp (BM_ForwardBackwardSmallK); every
// unit is faster than the plain loops at every K.
VectorUnit smootherUnitFor(VectorUnit widest, std::int32_t K, bool pairwise);

// The same on the widest available unit and the calling thread alone.
double forwardBackwardInPlace(double* gamma, double* alpha, double* beta, double* xi,
                              const double* prior, const double* transmat, const double* obslik,
                              std::int32_t K, std::int32_t T, const char** failure);
