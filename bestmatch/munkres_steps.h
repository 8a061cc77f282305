#pragma once
// Munkres' method (the Hungarian algorithm) as a step machine: starred and
// primed zeros, covered rows and columns, on prepared working costs.
//
// Each step does its work on the solver state and names the step that follows;
// runstepmachine makes the transitions, so no step calls another. Where several
// zeros qualify, the one that the scan meets first is taken: the scan orders
// below decide which of several optimal assignments comes out.
//
// A row or column holds at most one star, and a row at most one prime, so the
// marks are kept as index vectors (column of the star of each row, row of the
// star of each column, column of the prime of each row) rather than as M*N
// mark matrices; "the lowest marked column of row i" is then a lookup.
//
// Working costs are M-by-N, column-major: element (i, j) lies at i + j*M.

#include <cstdint>

#include "column_scans.h"
#include "shift_history.h"
#include "vector_unit.h"

// The machine's states. `overflowed` ends a run whose working costs are no
// longer finite, so that no minimum exists to shift by; `abandoned` ends a
// run with deferred shifts that cannot go on deferring (see defershifts).
enum class MunkresStep { step2a, step2b, step3, step4, step5, finished, overflowed, abandoned };

inline constexpr std::int32_t kNoMark = -1;

struct MunkresState {
    double* assignment;             // M: written by buildassignmentvector when the run ends
    double* workCost;               // M*N: zero or positive; step5 shifts them
    unsigned char* columnCovered;   // N: 1 = covered
    unsigned char* rowCovered;      // M: 1 = covered
    std::int32_t* starColumnOfRow;  // M: column of the row's star, or kNoMark
    std::int32_t* starRowOfColumn;  // N: row of the column's star, or kNoMark
    std::int32_t* primeColumnOfRow; // M: column of the row's prime, or kNoMark
    // N: in column j no uncovered row above zeroSearchStart[j] holds a zero,
    // so step3 starts its scan of column j there.
    std::int32_t* zeroSearchStart;
    // N: the least working cost of column j in an uncovered row and its first
    // row (M when none is below +Inf), known when leastRowOfColumn[j] is not
    // kNoMark and that row is still uncovered.
    double* leastOfColumn;
    std::int32_t* leastRowOfColumn;
    std::int32_t* coveredRows; // M: the covered rows, coveredRowCount of them
    std::int32_t coveredRowCount;
    // Deferred shifts (see defershifts): while shiftsDeferred is set, workCost
    // keeps the costs the run started from and the working cost of (i, j) is
    // (workCost(i, j) + rowShift[i]) - columnShift[j], exactly until
    // shiftsMayRound is set and within a proved bound after; leastOfColumn
    // then holds workCost(i, j) + rowShift[i] of its row, and once that row
    // is covered it is a lower bound of the column's least.
    double* rowShift;    // M: sum of the shifts during which the row was covered
    double* columnShift; // N: sum of the shifts during which the column was uncovered
    bool shiftsDeferred;
    // Set once a deferred shift could have rounded: from then on the sums only
    // approximate the working costs, and decisions are taken on exact values
    // rebuilt from the history.
    bool shiftsMayRound;
    ShiftHistory history;
    std::int32_t* candidateColumns;   // N: columns whose exact least a shift has to know
    double* candidateLeast;           // N: their exact least
    double* rowShiftIfUncovered;      // M: rowShift of an uncovered row, NaN for a covered one
    const ColumnScans* scans;         // the column scans of the chosen vector unit
    std::uint64_t verifiedOperations; // elements tested for exact decisions
    std::uint64_t abandonAtShift;     // a deferred run gives up at this shift (tests)
    double verificationShare; // of the element-by-element cost that verifying may take (+Inf: all)
    double shiftTotal;        // sum of all shifts so far
    double largestStart;      // largest starting working cost, measured at the first shift
    double exactBelow;        // 2^53 grains of the starting costs; -1 until the first shift
    std::uint64_t shiftsRun;  // step5 runs that shifted
    std::int32_t M;
    std::int32_t N;
    std::int32_t targetPairs; // min(M, N)
};

// Obtains the state's marks and flags for an M-by-N problem, with no star, no
// prime and nothing covered; assignment and workCost stay the caller's. False
// (with everything released) when the memory cannot be had.
bool obtainstate(MunkresState* state, double* assignment, double* workCost, std::int32_t M,
                 std::int32_t N);
void releasestate(MunkresState* state);

// Lets step5 defer its shifts: the working costs stay the starting ones, and
// a shift only adds h to the sums of the covered rows and the uncovered
// columns, one per line instead of one per element.
//
// While no operation could round, the sums are exact: every starting working
// cost is an integer multiple of one power of two g (the grain; integers,
// decimals on a binary grid), so every shift and every working cost is one
// too, and as long as the largest starting cost plus the sum of all shifts
// stays below 2^53 g, every sum and difference the machine forms is exact.
// Then the working cost of (i, j) is (start + rowShift[i]) - columnShift[j].
//
// From the first shift that could round on, that is only an approximation a
// of the element-by-element machine's value x. Each of the at most 2s
// roundings of x after s shifts, and each of those of the sums and of a,
// errs by at most 2^-53 of a magnitude below start + rowShift[i] +
// columnShift[j] = P, so |a - x| <= (4s + 2) 2^-53 P. The machine uses the
// bound b = (s + 1) 2^-49 P, four times that, and takes every decision on
// exact values: an element is a zero candidate when |a| <= b, and the next
// shift is the least exact value among the elements that the bounds cannot
// place above the least upper bound a + b. Their exact values are rebuilt
// from the history, which replays the element's own operations.
//
// The run is abandoned (MunkresStep::abandoned) when the sums come near the
// largest double, when the history cannot grow, when the work to verify
// decisions passes the share verificationShare of what shifting element by
// element would have cost, or at abandonAtShift. The working costs are still the starting ones
// then, so the caller can start over element by element.
// Call it after the first stars are placed, before the run; without memory
// for the history nothing is deferred. The column scans use unit, which
// must be available; every unit takes the same decisions.
void defershifts(MunkresState* state, VectorUnit unit);

// The current working cost of (i, j), deferred or not, as the element-by-
// element machine would hold it.
double workcostof(const MunkresState& state, std::int32_t i, std::int32_t j);

// Stars the zero at (row, column), which holds no star in its row or column.
void setstar(MunkresState* state, std::int32_t row, std::int32_t column);

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
// it from the uncovered columns. Next: step3, or overflowed when h is not
// finite.
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
