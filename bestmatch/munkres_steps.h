#pragma once
// Munkres' method (the Hungarian algorithm) as a step machine: starred and
// primed zeros, covered rows and columns, on prepared working costs.
//
// Each step does its work on the solver state and names the step that follows;
// runstepmachine makes the transitions, so no step calls another. Where several
// zeros qualify, the one that the scan meets first is taken: the scan orders
// decide which of several optimal assignments comes out, and every shift
// rounds as it does when applied to every element in turn. The machine here
// takes the same decisions as that element-by-element machine, bit for bit,
// with less work per event:
//
// - A row or column holds at most one star, and a row at most one prime, so
//   the marks are index vectors, not M*N mark matrices.
// - step3 visits only the columns that may hold a zero in an uncovered row,
//   from lists of their zero rows (zero_lists.h), not every element.
// - step5 finds the least uncovered working cost from what each row's least
//   over the uncovered columns is known to be, kept up to date event by
//   event: the columns without a star (which are uncovered in every shift),
//   the starred columns uncovered in this phase. How the working costs and
//   these leasts are held is up to one of two ways of keeping the values:
//   dense_values.h (every shift applied to every element it changes, one pass
//   over the matrix per shift) and deferred_values.h (shifts kept as sums per
//   row and column, exact values rebuilt only where a decision needs them).
//
// Working costs are M-by-N, column-major: element (i, j) lies at i + j*M.

#include <cstddef>
#include <cstdint>

#include "column_passes.h"
#include "deferred_values.h"
#include "dense_values.h"
#include "reduced_costs.h"
#include "start_zeros.h"
#include "vector_unit.h"
#include "zero_lists.h"

// The machine's states. `overflowed` ends a run whose working costs are no
// longer finite, so that no minimum exists to shift by; `abandoned` ends a
// run with deferred shifts that cannot go on deferring.
enum class MunkresStep { step2a, step2b, step3, step4, step5, finished, overflowed, abandoned };

inline constexpr std::int32_t kNoMark = -1;

struct MunkresState {
    double* assignment;             // M: written by buildassignmentvector when the run ends
    double* workCost;               // M*N: see dense_values.h and deferred_values.h
    ReducedCosts* reduced;          // the starting costs still to be written there, or none
    unsigned char* columnCovered;   // N: 1 = covered
    unsigned char* rowCovered;      // M: 1 = covered
    std::int32_t* starColumnOfRow;  // M: column of the row's star, or kNoMark
    std::int32_t* starRowOfColumn;  // N: row of the column's star, or kNoMark
    std::int32_t* primeColumnOfRow; // M: column of the row's prime, or kNoMark
    std::int32_t* coveredRows;      // M: the covered rows, coveredRowCount of them
    std::int32_t coveredRowCount;
    std::int32_t* phaseColumns; // N: starred columns uncovered in this phase, phaseColumnCount
    std::int32_t phaseColumnCount;
    std::int32_t* freeColumns; // N: the columns without a star, freeColumnCount of them
    std::int32_t freeColumnCount;
    std::int32_t* freePosition; // N: a column's place in freeColumns, or kNoMark
    ZeroLists zeros;
    bool deferred; // which way of keeping the values is in use
    DenseValues dense;
    DeferredValues lazy;
    const ColumnPasses* passes; // the column passes of the chosen vector unit
    int threads;                // at most this many threads in a pass over many columns
    std::uint64_t shiftsRun;    // step5 runs that shifted
    std::int32_t M;
    std::int32_t N;
    std::int32_t targetPairs; // min(M, N)
};

// How startmachine sets the machine up.
struct MachineOptions {
    bool deferShifts;             // keep shifts as sums (deferred_values.h), or apply them
    VectorUnit unit;              // for the column passes; must be available
    int threads;                  // at least 1
    std::uint64_t abandonAtShift; // a deferred run gives up at this shift (tests); 0: never
    const StartZeros* startZeros; // the reduced costs' zeros, or none (start_zeros.h)
    ReducedCosts* reduced;        // the columns of workCost not yet written, or none
};

// Obtains the state's marks and flags for an M-by-N problem, with no star, no
// prime and nothing covered; assignment and workCost stay the caller's. False
// (with everything released) when the memory cannot be had.
bool obtainstate(MunkresState* state, double* assignment, double* workCost, std::int32_t M,
                 std::int32_t N);
void releasestate(MunkresState* state);

// Stars the zero at (row, column), which holds no star in its row or column.
void setstar(MunkresState* state, std::int32_t row, std::int32_t column);

// Sets up the values and the first lists of zeros once the first stars are
// placed and exactly their columns covered; call it before the first step.
// Deferred shifts fall back to applied ones when their memory cannot be had.
// False when even that memory cannot be had.
bool startmachine(MunkresState* state, const MachineOptions& options);

// The current working cost of (i, j), as the element-by-element machine
// would hold it.
double workcostof(MunkresState* state, std::int32_t i, std::int32_t j);

// The starting costs (before the first shift): column j, written into
// workCost first when it was not; element (i, j), written or not; every
// column written.
const double* startcolumn(MunkresState* state, std::int32_t j);
void writestartcosts(MunkresState* state);
inline double startcostat(const MunkresState& state, std::int32_t i, std::int32_t j)
{
    if (state.reduced) return reducedcost(*state.reduced, state.workCost, i, j);
    return state.workCost[static_cast<std::size_t>(i) +
                          static_cast<std::size_t>(j) * static_cast<std::size_t>(state.M)];
}

// Covers every column that holds a star. Next: step2b.
MunkresStep step2a(MunkresState* state);

// Finished, with the assignment vector written, when targetPairs columns are
// covered; otherwise next step3.
MunkresStep step2b(MunkresState* state);

// Primes uncovered zeros, columns ascending, rows ascending within a column,
// in passes from column 0 until a pass primes nothing (next step5) or a prime
// lands in a row without a star (next step4 with that prime in *row, *column).
MunkresStep step3(MunkresState* state, std::int32_t* row, std::int32_t* column);

// Augments along the alternating path of primes and stars that starts at the
// prime (row, column): one more star. Clears the primes, uncovers the rows.
// Next: step2a.
MunkresStep step4(MunkresState* state, std::int32_t row, std::int32_t column);

// Adds the least uncovered working cost h to the covered rows, then subtracts
// it from the uncovered columns. Next: step3, overflowed when h is not
// finite, abandoned when deferred shifts cannot go on.
MunkresStep step5(MunkresState* state);

// The transitions that any run on finite working costs stays within:
// P*P + 5*P + 1 for P = targetPairs. A phase that starts with k stars runs
// step2b, step3, at most k + 1 pairs of step5 and step3, step4 and step2a,
// and the last step2b ends the run.
std::uint64_t steplimit(std::int32_t targetPairs);

// How a run ended.
enum class MunkresOutcome { finished, overflowed, stepLimitReached, abandoned };

// Runs the machine from step2b until it finishes or has made stepLimit steps.
// *stepsRun receives the number of steps made (each step run counts once).
MunkresOutcome runstepmachine(MunkresState* state, std::uint64_t stepLimit,
                              std::uint64_t* stepsRun);

// assignment[i] = 1 + the column of row i's star; rows without one keep their value.
void buildassignmentvector(double* assignment, const std::int32_t* starColumnOfRow, std::int32_t M);

// Adds the caller's costs of the assigned pairs to *cost in row order. A pair
// whose cost is infinite or NaN is withdrawn: its row is set to 0. Entries of
// assignment are 0 or 1-based columns of costs (M rows).
void computeassignmentcost(double* assignment, double* cost, const double* costs, std::int32_t M);
