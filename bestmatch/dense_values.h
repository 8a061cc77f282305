#pragma once
// Working costs kept by applying every shift to every element it changes, as
// the element-by-element machine does: workCost holds the machine's values at
// all times. One pass per shift over the columns (split over threads) applies
// it and, in the same pass, finds each row's least over the uncovered columns
// for the next shift and the zeros it made, column by column.

#include <cstdint>

struct MunkresState;

struct DenseValues {
    double* freeSlack;        // M: each row's least over the columns without a star
    double* treeSlack;        // M: its least over the starred columns uncovered in this phase
    double* rowMask;          // M: 0 for an uncovered row, NaN for a covered one
    double* addend;           // M: h for a covered row, -0.0 for an uncovered one, in a shift
    double* partials;         // 2 * M per thread past the first: the leasts of its columns
    std::int32_t* zeroRows;   // M per thread: zero rows of one column
    std::int32_t* zeroCounts; // N: zeros a shift made in each column, for the lists
    int threads;
    int leastParts; // a shift's pass is split into at least this many parts (tests)
};

bool obtaindensevalues(MunkresState* state, int threads);
void releasedensevalues(DenseValues* values);

// The zeros and leasts of the columns without a star, all rows uncovered:
// at the start of the run and of every phase.
void densephasestart(MunkresState* state);

// Column j has just been uncovered: its zeros in uncovered rows and its
// elements enter the rows' leasts.
void densemerge(MunkresState* state, std::int32_t j);

void densecoverrow(MunkresState* state, std::int32_t i);
void denseuncoverrow(MunkresState* state, std::int32_t i);

// step5: false when no finite shift is left.
bool denseshift(MunkresState* state);

// The first uncovered row from `from` on whose working cost in column j is
// zero, or M.
std::int32_t densefirstzero(const MunkresState& state, std::int32_t j, std::int32_t from);
