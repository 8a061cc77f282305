#pragma once
// Least-cost assignment of the rows of a non-negative cost matrix to its
// columns by Munkres' method, infinite costs marking forbidden pairs.

#include <cstdint>

#include "vector_unit.h"

inline constexpr char kNegativeCostMessage[] = "All matrix elements have to be non-negative.";
inline constexpr char kNanCostMessage[] = "Matrix elements must not be NaN.";
inline constexpr char kReplacementOverflowMessage[] =
    "The finite costs are too large: infinite costs cannot be replaced by a finite value.";
inline constexpr char kWorkOverflowMessage[] =
    "The finite costs are too large: the working costs overflowed.";
inline constexpr char kStepLimitMessage[] =
    "Internal error: the assignment did not finish within its step limit.";
inline constexpr char kAssignmentMemoryMessage[] = "Not enough memory for the working buffers.";
inline constexpr char kMatrixTooLargeMessage[] = "The cost matrix is too large.";

// Pairs the rows of the M-by-N column-major matrix costs with its columns,
// min(M, N) pairs, each row and each column in at most one, so that the pairs
// use as few infinite costs as possible and, among those, the finite costs add
// up to the least total. Infinite costs stand in as the largest finite cost
// times 10 times the element count (10 when every finite cost is zero).
//
// Outputs: assignment (M values) gets for row i the 1-based column paired with
// it, or 0 (no pair, or an infinite cost that could not be avoided); *cost gets
// the sum of the costs of the reported pairs, added in row order. A matrix
// without finite costs, or without elements, gives all zeros.
//
// On failure *failure receives the message, the outputs are all zero and all
// working memory has been released: a negative finite cost (found at the first
// one in storage order), a NaN cost, finite costs too large to stand in for
// the infinite ones or to be shifted, a matrix too large to address, or no
// working memory. *failure is left alone on success.
void bestmatch(double* assignment, double* cost, const double* costs, std::int32_t M,
               std::int32_t N, const char** failure);

// bestmatch with its column scans on one vector unit, which must be
// available (vectorUnitAvailable); bestmatch takes the widest. Every unit
// gives the same answer.
void bestmatchonunit(double* assignment, double* cost, const double* costs, std::int32_t M,
                     std::int32_t N, VectorUnit unit, const char** failure);

// The same solver with every shift of the step machine applied element by
// element (no deferred shifts): the reference that bestmatch must equal, and
// what bestmatch falls back on. Kept for the tests and the benchmarks.
void bestmatchstepbystep(double* assignment, double* cost, const double* costs, std::int32_t M,
                         std::int32_t N, const char** failure);

// bestmatch made to give up deferring shifts at shift abandonAtShift (from 1)
// and to start over element by element, as it does when deferring would cost
// more: for the tests of that path.
void bestmatchstartingover(double* assignment, double* cost, const double* costs, std::int32_t M,
                           std::int32_t N, std::uint64_t abandonAtShift, const char** failure);
