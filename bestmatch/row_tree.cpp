#include "row_tree.h"

#include <cstddef>
#include <limits>

#include "work_memory.h"

namespace
{

double leastof(double a, double b) { return b < a ? b : a; }

void rebuildnodes(RowTree* tree)
{
    double* nodes = tree->nodes;
    for (std::int32_t k = tree->leaves - 1; k >= 1; --k)
        nodes[k] = leastof(nodes[2 * k], nodes[2 * k + 1]);
}

void updatepath(RowTree* tree, std::int32_t row)
{
    double* nodes = tree->nodes;
    for (std::int32_t k = (tree->leaves + row) / 2; k >= 1; k /= 2) {
        const double least = leastof(nodes[2 * k], nodes[2 * k + 1]);
        if (nodes[k] == least) break; // the nodes above hold what they held
        nodes[k] = least;
    }
}

// Forgets the rows listed as changed; a count past the rows says that too
// many changed to list, and none is marked.
void forgetchanges(RowTree* tree)
{
    if (tree->changedCount <= tree->rows) {
        for (std::int32_t k = 0; k < tree->changedCount; ++k)
            tree->changedMark[tree->changed[k]] = 0;
    }
    tree->changedCount = 0;
}

// Lists row as changed, once.
void notechange(RowTree* tree, std::int32_t row)
{
    if (tree->changedMark[row]) return;
    tree->changedMark[row] = 1;
    tree->changed[tree->changedCount++] = row;
}

// Takes in the keys changed since the tree was last asked, or leaves the tree
// flat when many did.
void refresh(RowTree* tree)
{
    if (tree->changedCount == 0) return;
    if (tree->changedCount > tree->rows / 8) {
        forgetchanges(tree);
        tree->flat = true;
        return;
    }
    if (tree->flat) rebuildnodes(tree);
    for (std::int32_t k = 0; k < tree->changedCount; ++k) {
        const std::int32_t row = tree->changed[k];
        tree->changedMark[row] = 0;
        if (!tree->flat) updatepath(tree, row);
    }
    tree->changedCount = 0;
    tree->flat = false;
}

} // namespace

bool obtainrowtree(RowTree* tree, std::int32_t rows, const ColumnPasses& passes)
{
    *tree = RowTree{};
    tree->passes = &passes;
    std::int32_t leaves = 1;
    while (leaves < rows) leaves *= 2;
    tree->leaves = leaves;
    tree->rows = rows;
    tree->nodes =
        static_cast<double*>(workAllocate(2 * static_cast<std::size_t>(leaves) * sizeof(double)));
    tree->changed = static_cast<std::int32_t*>(
        workAllocate(static_cast<std::size_t>(rows) * sizeof(std::int32_t)));
    tree->changedMark =
        static_cast<unsigned char*>(workAllocateZeroed(static_cast<std::size_t>(rows), 1));
    if (!tree->nodes || !tree->changed || !tree->changedMark) {
        releaserowtree(tree);
        return false;
    }
    for (std::int32_t k = 0; k < 2 * leaves; ++k)
        tree->nodes[k] = std::numeric_limits<double>::infinity();
    return true;
}

void releaserowtree(RowTree* tree)
{
    workRelease(tree->nodes);
    workRelease(tree->changed);
    workRelease(tree->changedMark);
    *tree = RowTree{};
}

void buildrowtree(RowTree* tree, const double* keys)
{
    for (std::int32_t i = 0; i < tree->rows; ++i) tree->nodes[tree->leaves + i] = keys[i];
    forgetchanges(tree);
    rebuildnodes(tree);
    tree->flat = false;
}

void setrowkey(RowTree* tree, std::int32_t row, double key)
{
    tree->nodes[tree->leaves + row] = key;
    if (tree->changedCount <= tree->rows) notechange(tree, row);
}

void rowkeyschanged(RowTree* tree, const std::int32_t* rows, std::int32_t count)
{
    if (tree->changedCount > tree->rows) return; // a rebuild is due anyway
    if (tree->changedCount + count > tree->rows / 8) {
        forgetchanges(tree);
        tree->changedCount = tree->rows + 1;
        return;
    }
    for (std::int32_t k = 0; k < count; ++k) notechange(tree, rows[k]);
}

double leastrowkey(RowTree* tree)
{
    refresh(tree);
    if (tree->flat) return tree->passes->leastvalue(tree->nodes + tree->leaves, tree->rows);
    return tree->nodes[1];
}

std::int32_t rowsatmostkey(RowTree* treeToAsk, double threshold, std::int32_t* rows,
                           std::int32_t capacity)
{
    refresh(treeToAsk);
    if (treeToAsk->flat) {
        // Every row may qualify: rows has room for all (capacity = rows).
        return treeToAsk->passes->rowsatmostvalue(treeToAsk->nodes + treeToAsk->leaves, threshold,
                                                  treeToAsk->rows, rows);
    }
    const RowTree& tree = *treeToAsk;
    // Depth-first, left before right, so the rows come out ascending; a
    // subtree whose least is above the threshold is not entered.
    std::int32_t stack[64];
    std::int32_t depth = 0;
    std::int32_t found = 0;
    if (!(tree.nodes[1] <= threshold)) return 0;
    stack[depth++] = 1;
    while (depth > 0) {
        const std::int32_t k = stack[--depth];
        if (k >= tree.leaves) {
            if (found < capacity) rows[found] = k - tree.leaves;
            ++found;
            continue;
        }
        if (tree.nodes[2 * k + 1] <= threshold) stack[depth++] = 2 * k + 1;
        if (tree.nodes[2 * k] <= threshold) stack[depth++] = 2 * k;
    }
    return found;
}
