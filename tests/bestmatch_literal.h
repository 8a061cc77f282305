#pragma once
// Munkres' method exactly as written: M*N star and prime marks, every scan
// from the first row and column, every shift applied to every element. Slow
// and plain, it is the reference that the solver's machines must equal, step
// by step and bit for bit, and the third column of the benchmark.

#include <cstdint>
#include <vector>

#include "munkres_steps.h"

struct LiteralMachine {
    int M, N;
    std::vector<double> assignment, workCost;
    std::vector<unsigned char> starred, primed, columnCovered, rowCovered;

    std::size_t at(int i, int j) const { return std::size_t(i) + std::size_t(j) * std::size_t(M); }
    int markInRow(const std::vector<unsigned char>& marks, int i) const;
    int starInColumn(int j) const;

    // One step; step3 leaves the prime that ends it in *row, *column.
    MunkresStep take(MunkresStep step, int* row, int* column);
    MunkresStep step3(int* row, int* column);
    MunkresStep step4(int row, int column);
    MunkresStep step5();
};

// The prepared starting state of the reduced costs (infinite costs already
// replaced): row (M <= N) or column reduction, first stars, their columns
// covered.
LiteralMachine prepareliteral(const std::vector<double>& costs, int M, int N);

// The whole solver on the literal machine: the checks and messages of
// bestmatch, the replacement of infinite costs, the reduction, the machine
// and the total. *shifts receives the number of shifts made.
void bestmatchliteral(double* assignment, double* cost, const double* costs, std::int32_t M,
                      std::int32_t N, const char** failure, std::uint64_t* shifts = nullptr);
