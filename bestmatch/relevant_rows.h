#pragma once
// For each starred column, the rows whose element in it can matter when the
// column is uncovered.
//
// While row i is uncovered, its elements in the columns without a star stay
// in the uncovered part, and its least there is f_i, in the column of its
// least starting cost c1_i there (free_leasts.h). An element (i, s) of a
// starred column s can then only be row i's least, or equal to it, when its
// starting cost is at most c1_i plus the rounding the approximations allow:
// its approximation exceeds that of f_i by at least c(i, s) + D_s - c1_i,
// less a few roundings (D_s, the shifts the column took while covered, is
// not negative; the columns without a star were never covered). So when s
// is uncovered only the rows with c(i, s) + D_s <= c1_i + margin need to be
// merged: the others can neither be the row's least nor a zero (a zero is
// at most f_i), and their keys are left out of the row's.
//
// The thresholds c1_i + margin only rise (columns only ever leave the set
// without a star, and the margin only grows), and D_s only grows, so a list
// made with the column's D_s of then stays right, save for the rows whose
// threshold has risen since: those are logged, and a column's list takes
// them in when it is next used. A list made under a smaller margin, or with
// too many rows to take in, is made anew by a pass down the column. On
// spread costs D_s is
// what keeps the lists short late in a run, when the rows' leasts over the
// few columns left without a star lie far above their other costs.

#include <cstddef>
#include <cstdint>

struct RelevantRows {
    std::int32_t* pool; // the lists, each in a stretch of its own
    double* costs;      // beside each listed row, its starting cost in the column
    std::size_t capacity;
    std::size_t used;
    std::size_t* begin;        // N
    std::int32_t* count;       // N
    std::int32_t* room;        // N: the stretch's length
    std::uint64_t* upToDate;   // N: the log position the list has taken in
    std::uint32_t* generation; // N: the generation it was made in; stale when not current
    double* shift;             // N: the column's D_s when its list was made
    std::uint32_t current;
    unsigned char* refused; // N: 1 for a column whose list was once too long to keep
    std::int32_t* log;      // rows whose threshold rose, oldest first
    double* logFrom;        // the threshold before the rise
    double* logTo;          // and after it
    std::size_t logCapacity;
    std::size_t logLength;
    std::uint64_t logStart; // log position of log[0]
    double* threshold;      // M: c1_i + margin
    double margin;
    std::int32_t M;
    std::int32_t N;
};

bool obtainrelevantrows(RelevantRows* relevant, std::int32_t M, std::int32_t N);
void releaserelevantrows(RelevantRows* relevant);

// Every threshold from the rows' least starting costs (leasts[i], +Inf when
// none) and a new margin; every list becomes stale.
void setrelevancemargin(RelevantRows* relevant, const double* leasts, double margin);

// The least starting costs of `rows` rose: their thresholds follow, and the
// rows are logged for the lists that do not know it yet.
void logrisenthresholds(RelevantRows* relevant, const std::int32_t* rows, std::int32_t count,
                        const double* leasts);

// The longest list worth keeping: a column's full pass costs little more
// than going through it.
std::int32_t longestrelevantlist(const RelevantRows& relevant);

// Whether column s's list can be used: made in this generation, and short
// next to the column (its own rows and the logged rows it has still to take in).
bool relevantlistusable(const RelevantRows& relevant, std::int32_t s);

// Asks the processor to fetch the column's elements in the logged rows its
// list has still to take in: they lie scattered down the column, and fetched
// together their cache misses overlap.
void prefetchrelevantrows(const RelevantRows& relevant, std::int32_t s, const double* column);

// Brings column s's list up to date (it must be usable): the logged rows
// whose starting cost in the column (column[i]) plus the list's D_s is at
// most their threshold join it. Returns the list, *count rows in no particular order, and their
// starting costs beside them. False when it cannot grow; then the list is
// stale.
bool updaterelevantlist(RelevantRows* relevant, std::int32_t s, const double* column,
                        const std::int32_t** rows, const double** costs, std::int32_t* count);

// Makes column s's list anew from a pass down the whole column: rows, the
// count rows whose starting cost (column[i]) plus the column's D_s (shift)
// is at most their threshold. False, the list left stale, when it is too
// long to be worth keeping or its memory cannot be had: then the column is
// refused from then on (its thresholds and margin only rise, so its list
// seldom shrinks again, and the pass would mostly be lost).
bool makerelevantlist(RelevantRows* relevant, std::int32_t s, double shift,
                      const std::int32_t* rows, std::int32_t count, const double* column);
bool relevantlistrefused(const RelevantRows& relevant, std::int32_t s);
