#include "row_tree.h"

#include <cstddef>
#include <limits>

#include "work_memory.h"

bool obtainrowtree(RowTree* tree, std::int32_t rows)
{
    *tree = RowTree{};
    std::int32_t leaves = 1;
    while (leaves < rows) leaves *= 2;
    tree->leaves = leaves;
    tree->rows = rows;
    tree->nodes =
        static_cast<double*>(workAllocate(2 * static_cast<std::size_t>(leaves) * sizeof(double)));
    if (!tree->nodes) return false;
    for (std::int32_t k = 0; k < 2 * leaves; ++k)
        tree->nodes[k] = std::numeric_limits<double>::infinity();
    return true;
}

void releaserowtree(RowTree* tree)
{
    workRelease(tree->nodes);
    *tree = RowTree{};
}

void buildrowtree(RowTree* tree, const double* keys)
{
    double* nodes = tree->nodes;
    for (std::int32_t i = 0; i < tree->rows; ++i) nodes[tree->leaves + i] = keys[i];
    for (std::int32_t k = tree->leaves - 1; k >= 1; --k) {
        nodes[k] = nodes[2 * k + 1] < nodes[2 * k] ? nodes[2 * k + 1] : nodes[2 * k];
    }
}

void setrowkey(RowTree* tree, std::int32_t row, double key)
{
    double* nodes = tree->nodes;
    std::int32_t k = tree->leaves + row;
    nodes[k] = key;
    for (k /= 2; k >= 1; k /= 2) {
        const double least = nodes[2 * k + 1] < nodes[2 * k] ? nodes[2 * k + 1] : nodes[2 * k];
        if (nodes[k] == least) break; // the nodes above hold what they held
        nodes[k] = least;
    }
}

std::int32_t rowsatmostkey(const RowTree& tree, double threshold, std::int32_t* rows,
                           std::int32_t capacity)
{
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
