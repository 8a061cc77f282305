#pragma once
// A tournament tree over the rows' keys: the least key at once, every row
// whose key is at most a threshold in time proportional to their number, and
// one row's key changed in time logarithmic in the number of rows. A key of
// +Inf leaves a row out. Changed keys are taken in when the tree is next
// asked: path by path when they are few; when many changed at once, the
// question is answered by a pass over the keys instead, and the tree is
// rebuilt only when few change again.

#include <cstdint>

#include "column_passes.h"

struct RowTree {
    double* nodes;       // 2 * leaves: node k holds the least of nodes 2k and 2k + 1
    std::int32_t leaves; // a power of two, at least the number of rows
    std::int32_t rows;
    std::int32_t* changed;      // rows whose key changed since the tree was last asked
    std::int32_t changedCount;  // how many; past rows / 8 the tree is rebuilt
    unsigned char* changedMark; // rows: 1 when listed in changed
    // While many keys change between two questions the tree is not kept: the
    // questions are answered by a vector pass over the keys.
    bool flat;
    const ColumnPasses* passes;
};

bool obtainrowtree(RowTree* tree, std::int32_t rows, const ColumnPasses& passes);
void releaserowtree(RowTree* tree);

// Sets every key from keys[0 .. rows-1] and rebuilds the tree.
void buildrowtree(RowTree* tree, const double* keys);

void setrowkey(RowTree* tree, std::int32_t row, double key);

// The keys of the tree's rows, to be written directly; then the rows written
// are told with rowkeyschanged (of more than rows / 8 of them, only the count
// is read: the tree is rebuilt).
inline double* rowkeys(RowTree* tree) { return tree->nodes + tree->leaves; }
void rowkeyschanged(RowTree* tree, const std::int32_t* rows, std::int32_t count);

inline double rowkey(const RowTree& tree, std::int32_t row)
{
    return tree.nodes[tree.leaves + row];
}
double leastrowkey(RowTree* tree);

// The rows whose key is at most threshold, ascending, into rows; at most
// capacity of them. Returns how many there are (which may exceed capacity).
std::int32_t rowsatmostkey(RowTree* tree, double threshold, std::int32_t* rows,
                           std::int32_t capacity);
