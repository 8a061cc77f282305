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

// bestmatch with its column passes on one vector unit, which must be
// available (vectorUnitAvailable), on one thread; bestmatch takes the widest
// unit and the configured threads. Every unit gives the same answer.
void bestmatchonunit(double* assignment, double* cost, const double* costs, std::int32_t M,
                     std::int32_t N, VectorUnit unit, const char** failure);

// How bestmatchwith runs the solver.
struct BestmatchOptions {
    bool deferShifts;             // keep shifts as sums, or apply each to every element
    VectorUnit unit;              // must be available (vectorUnitAvailable)
    int threads;                  // at most this many threads in a pass over many columns
    std::uint64_t abandonAtShift; // deferring gives up at this shift (from 1; 0: never)
};

// bestmatch run as options say; every choice gives the same answer.
void bestmatchwith(double* assignment, double* cost, const double* costs, std::int32_t M,
                   std::int32_t N, const BestmatchOptions& options, const char** failure);

// The same solver with every shift of the step machine applied to every
// element it changes (no deferred shifts), one pass over the matrix per
// shift: what bestmatch falls back on when deferring cannot pay. Every unit
// and thread count gives the same answer.
void bestmatchstepbystep(double* assignment, double* cost, const double* costs, std::int32_t M,
                         std::int32_t N, const char** failure);

// bestmatch made to give up deferring shifts at shift abandonAtShift (from 1)
// and to start over element by element, as it does when deferring would cost
// more: for the tests of that path.
void bestmatchstartingover(double* assignment, double* cost, const double* costs, std::int32_t M,
                           std::int32_t N, std::uint64_t abandonAtShift, const char** failure);
