#pragma once
// Viterbi (max-product) recursion over a discrete chain, with the products,
// running maxima, column totals and scale factors held in single precision.

#include <cstdint>

#include "vector_unit.h"

// The running best at the start of every destination state: -1e20 rounded to
// single precision. A candidate must exceed it to name a source state.
inline constexpr float kInitialBest = static_cast<float>(-1e20);

// Fills the scores D and back-pointers P (K-by-N, column-major) of the best
// paths through a chain of K states observed for N steps.
//
// O: K-by-N local scores; R: the first K prior weights; T: K-by-K transition
// weights, T[k + j*K] for a move from state k to state j. P holds 1-based
// source states as doubles, 0 in column 1 and where no candidate exceeded
// kInitialBest. When normalise is true every column of D is scaled to sum to
// one and its scale factor goes to S (N values); otherwise S is not touched.
// With N < 1 or K < 0 nothing is read or written.
//
// The candidates of each step are searched on the unit of bestPathUnitFor
// (widestVectorUnit(), K), in a transposed copy of T taken from the working
// memory of host/work_memory.h for the call; when that memory cannot be had
// the plain loops run instead. Every path gives the same bits.
void bestPathScoresInPlace(std::int32_t K, std::int32_t N, const double* O, const double* R,
                           const double* T, bool normalise, double* D, double* P, double* S);

// The unit worth using for K states, at most `widest` (which must be
// available). Below kVectorStates states the plain loops: a step's few
// candidates cost less than handing them to a vector unit. Below
// kWidestStates at most AVX2, whose one group of 8 destinations leaves no
// lane empty where AVX-512's 16 would leave half. Both measured with
// bench/pathtrace_bench.cpp (BM_BestPathSmallK).
inline constexpr std::int32_t kVectorStates = 6;
inline constexpr std::int32_t kWidestStates = 9;
VectorUnit bestPathUnitFor(VectorUnit widest, std::int32_t K);

// The same on the given unit (plain: the scalar loops, which need no working
// memory). A unit that is not available runs the plain loops.
void bestPathScoresOnUnit(VectorUnit unit, std::int32_t K, std::int32_t N, const double* O,
                          const double* R, const double* T, bool normalise, double* D, double* P,
                          double* S);
