#pragma once
// Working costs kept as the costs the run started from (workCost, never
// shifted; its columns may be written only as the run first reads them, see
// reduced_costs.h) and sums of the shifts per row and per column: a shift
// is one addition to the sum of all shifts, not a pass over the matrix.
//
// The element-by-element machine applies to element (i, j), shift by shift,
// x + h while row i is covered and then x - h while column j is uncovered,
// each rounded. With
//   V   the sum of all shifts,
//   u_i the sum of the shifts during which row i was covered,
//   D_j the sum of the shifts during which column j was covered,
// the approximation a(i, j) = ((c(i, j) + D_j) + u_i) - V, formed in that
// order, is its value exactly while every cost and sum is a multiple of one
// power of two g below 2^53 g (integers, decimals on a binary grid: the
// exact regime). Once a shift may round, |a - x| <= B with
//   B = (t + 1) 2^-48 (largest starting cost + 4 V)
// after t shifts: x goes through at most 2t roundings of magnitudes below
// c + V, and each sum at most 3t roundings of magnitudes below V (the sums
// of the rows and columns are made of differences of V), so the error is
// below (9t + 3) 2^-53 (c + 3V), a third of B. Every decision is then taken
// on exact values, rebuilt for the few elements whose bounds cannot place
// them by replaying their own operations (shift_history.h).
//
// Rows are kept in a tournament tree by the key of their least element over
// the uncovered columns, key = (c + D_j) + u_i: while row i and column j stay
// uncovered neither sum changes, so the key does not change when a shift
// does, and the least approximation over the uncovered part is the least key
// minus V. A row's least over the columns without a star comes from
// free_leasts.h; over the starred columns uncovered in this phase from the
// keys merged as they were uncovered (deferred_merges.cpp), of the rows
// relevant_rows.h lists.

#include <cstdint>

#include "free_leasts.h"
#include "relevant_rows.h"
#include "row_tree.h"
#include "shift_history.h"
#include "start_zeros.h"

struct MunkresState;
struct MachineOptions;
enum class MunkresStep;

struct DeferredValues {
    double total;                 // V
    double* rowShift;             // M: u_i; of a covered row, its value when it was covered
    double* rowMark;              // M: V when the row was covered
    double* columnShift;          // N: D_j; of a covered column, its value when it was covered
    double* columnMark;           // N: V when the column was covered
    FreeLeasts free;              // each row's least starting costs over the columns without a star
    double* phaseKey;             // M: least key over this phase's uncovered starred columns
    double* phaseOther;           // M: no other of the row's keys there is smaller
    double* phaseColumn;          // M: where phaseKey lies (a column number)
    double* rowMask;              // M: 0 for an uncovered row, NaN for a covered one
    std::int32_t* mergedUpTo;     // N: rows merged so far of a column merged block by block; -1
                                  // for a column whose merge waits for the phase's first shift
    std::int32_t* pendingColumns; // N: the columns whose merge waits
    std::int32_t pendingCount;
    bool phaseShifted;            // the phase has made a shift
    const StartZeros* startZeros; // the zeros until the first shift, or none
    RowTree order;                // uncovered rows by the key of their least element
    RelevantRows relevant;        // per starred column, the rows a merge has to visit
    ShiftHistory history;         // every shift, and when each row and column took part
    std::int32_t* rows;           // M: scratch
    std::int32_t* listRows;       // M: scratch
    std::int32_t* improvedRows;   // M: scratch
    std::int32_t* candidateRows;  // M: scratch
    double* keys;                 // M: scratch
    std::int32_t* elements;       // pairs (row, column): candidates of one decision
    std::size_t elementCapacity;
    std::int32_t* zeroPairs; // pairs (row, column): zeros found by one decision
    std::size_t zeroPairCapacity;
    bool shiftsMayRound;              // set once a shift could have rounded
    double largestStart;              // largest starting cost, measured at the first shift
    double exactBelow;                // 2^53 grains of the starting costs; -1 until the first shift
    double verificationShare;         // of the dense machine's work that verifying may take
    std::uint64_t verifiedOperations; // elements tested for exact decisions
    std::size_t candidateLimit;       // candidates of a shift past which the run gives up
    // A widened margin of the relevance lists: the larger of marginGrowth
    // times what it must exceed, and marginScale times the largest cost plus
    // 4V (4 and 2^-24; 1 and 0 in tests, to widen it at every shift).
    double marginGrowth;
    double marginScale;
    std::uint64_t abandonAtShift; // the run gives up at this shift (tests); 0: never
    bool givenUp;                 // deferring cannot go on: the run is abandoned
};

// Sets the deferred values up for the state's first stars; false, with
// nothing held, when the memory cannot be had.
bool startdeferred(MunkresState* state, const MachineOptions& options);
void releasedeferredvalues(DeferredValues* values);

// A phase starts: the rows are uncovered, column `starred` has just gained a
// star. The lists of zeros of the columns without a star are made.
void deferredphasestart(MunkresState* state, std::int32_t starred);

// Column j has just been uncovered: its elements enter the rows' keys, and
// its list of zeros in uncovered rows is made.
void deferredmerge(MunkresState* state, std::int32_t j);

void deferredcoverrow(MunkresState* state, std::int32_t i);
void deferreduncoverrow(MunkresState* state, std::int32_t i);
void deferredcovercolumn(MunkresState* state, std::int32_t j);

// step5: next step3, or overflowed (no finite shift), or abandoned.
MunkresStep deferredshift(MunkresState* state);

// The first uncovered row from `from` on whose working cost in column j (an
// uncovered column) is zero, or M.
std::int32_t deferredfirstzero(MunkresState* state, std::int32_t j, std::int32_t from);

// The working cost of (i, j) as the element-by-element machine holds it.
double deferredworkcost(MunkresState* state, std::int32_t i, std::int32_t j);

// Whether the run has had to give up deferring (see DeferredValues::givenUp).
bool deferredgivenup(const MunkresState& state);

// Shared by the two halves of the deferred machine (deferred_values.cpp,
// deferred_merges.cpp):
// B, no approximation is further than this from the exact working cost (0
// in the exact regime);
double roundingbound(const DeferredValues& values);
// the exact working cost of (i, j), the approximation itself in the exact
// regime, otherwise rebuilt from the history (and kept for the next time);
double exactvalue(MunkresState* state, std::int32_t i, std::int32_t j);
// after a shift, the lists' margin kept wide enough for the new bound (see
// deferred_merges.cpp).
void keeprelevancemargin(MunkresState* state);
// before the first shift of a phase, the merges that waited for it.
void mergependingcolumns(MunkresState* state);
