#include "bestmatch_literal.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "assignment.h"

int LiteralMachine::markInRow(const std::vector<unsigned char>& marks, int i) const
{
    for (int j = 0; j < N; ++j)
        if (marks[at(i, j)]) return j;
    return -1;
}

int LiteralMachine::starInColumn(int j) const
{
    for (int i = 0; i < M; ++i)
        if (starred[at(i, j)]) return i;
    return -1;
}

MunkresStep LiteralMachine::take(MunkresStep step, int* row, int* column)
{
    switch (step) {
    case MunkresStep::step2a:
        for (int j = 0; j < N; ++j)
            if (starInColumn(j) >= 0) columnCovered[j] = 1;
        return MunkresStep::step2b;
    case MunkresStep::step2b:
        if (std::count(columnCovered.begin(), columnCovered.end(), 1) != std::min(M, N))
            return MunkresStep::step3;
        for (int i = 0; i < M; ++i)
            if (markInRow(starred, i) >= 0) assignment[i] = markInRow(starred, i) + 1;
        return MunkresStep::finished;
    case MunkresStep::step3:
        return step3(row, column);
    case MunkresStep::step4:
        return step4(*row, *column);
    default:
        return step5();
    }
}

MunkresStep LiteralMachine::step3(int* row, int* column)
{
    for (bool found = true; found;) {
        found = false;
        for (int j = 0; j < N; ++j) {
            for (int i = 0; i < M && !columnCovered[j]; ++i) {
                if (rowCovered[i] || workCost[at(i, j)] != 0.0) continue;
                primed[at(i, j)] = 1;
                const int s = markInRow(starred, i);
                if (s < 0) {
                    *row = i;
                    *column = j;
                    return MunkresStep::step4;
                }
                rowCovered[i] = 1;
                columnCovered[s] = 0;
                found = true;
                break;
            }
        }
    }
    return MunkresStep::step5;
}

MunkresStep LiteralMachine::step4(int row, int column)
{
    std::vector<unsigned char> starredNext = starred;
    starredNext[at(row, column)] = 1;
    for (int j = column, i = starInColumn(j); i >= 0; i = starInColumn(j)) {
        starredNext[at(i, j)] = 0;
        j = markInRow(primed, i);
        starredNext[at(i, j)] = 1;
    }
    starred = starredNext;
    std::fill(primed.begin(), primed.end(), 0);
    std::fill(rowCovered.begin(), rowCovered.end(), 0);
    return MunkresStep::step2a;
}

MunkresStep LiteralMachine::step5()
{
    double h = std::numeric_limits<double>::infinity();
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N; ++j)
            if (!rowCovered[i] && !columnCovered[j] && h > workCost[at(i, j)])
                h = workCost[at(i, j)];
    if (!std::isfinite(h)) return MunkresStep::overflowed;
    for (int i = 0; i < M; ++i)
        for (int j = 0; j < N && rowCovered[i]; ++j) workCost[at(i, j)] = workCost[at(i, j)] + h;
    for (int j = 0; j < N; ++j)
        for (int i = 0; i < M && !columnCovered[j]; ++i)
            workCost[at(i, j)] = workCost[at(i, j)] - h;
    return MunkresStep::step3;
}

LiteralMachine prepareliteral(const std::vector<double>& costs, int M, int N)
{
    const std::size_t E = costs.size();
    LiteralMachine p{M,
                     N,
                     std::vector<double>(M),
                     costs,
                     std::vector<unsigned char>(E),
                     std::vector<unsigned char>(E),
                     std::vector<unsigned char>(N),
                     std::vector<unsigned char>(M)};
    const bool byRow = M <= N;
    for (int outer = 0; outer < (byRow ? M : N); ++outer) {
        auto element = [&](int k) -> double& {
            return p.workCost[byRow ? p.at(outer, k) : p.at(k, outer)];
        };
        double m = element(0);
        for (int k = 1; k < (byRow ? N : M); ++k) m = m > element(k) ? element(k) : m;
        for (int k = 0; k < (byRow ? N : M); ++k) element(k) = element(k) - m;
        for (int k = 0; k < (byRow ? N : M); ++k) {
            const int i = byRow ? outer : k, j = byRow ? k : outer;
            if (element(k) != 0.0 || p.columnCovered[j] || p.markInRow(p.starred, i) >= 0) continue;
            p.starred[p.at(i, j)] = p.columnCovered[j] = 1;
            break;
        }
    }
    return p;
}

void bestmatchliteral(double* assignment, double* cost, const double* costs, std::int32_t M,
                      std::int32_t N, const char** failure, std::uint64_t* shifts)
{
    *cost = 0;
    std::fill(assignment, assignment + M, 0.0);
    if (shifts) *shifts = 0;
    if (M == 0 || N == 0) return;
    const std::size_t E = std::size_t(M) * std::size_t(N);
    std::vector<double> work(costs, costs + E);
    bool nan = false, infinite = false;
    double largest = -1.0;
    for (double v : work) {
        if (std::isfinite(v) && v < 0) {
            *failure = kNegativeCostMessage;
            return;
        }
        nan = nan || std::isnan(v);
        infinite = infinite || std::isinf(v);
        if (std::isfinite(v) && v > largest) largest = v;
    }
    if (nan) {
        *failure = kNanCostMessage;
        return;
    }
    if (infinite) {
        if (largest == -1.0) return;
        const double replacement = largest > 0 ? largest * 10 * double(E) : 10.0;
        if (!std::isfinite(replacement)) {
            *failure = kReplacementOverflowMessage;
            return;
        }
        for (double& v : work)
            if (std::isinf(v)) v = replacement;
    }
    LiteralMachine machine = prepareliteral(work, M, N);
    int row = 0, column = 0;
    for (MunkresStep next = MunkresStep::step2b; next != MunkresStep::finished;) {
        if (shifts && next == MunkresStep::step5) ++*shifts;
        next = machine.take(next, &row, &column);
        if (next == MunkresStep::overflowed) {
            *failure = kWorkOverflowMessage;
            std::fill(assignment, assignment + M, 0.0);
            return;
        }
    }
    std::copy(machine.assignment.begin(), machine.assignment.end(), assignment);
    computeassignmentcost(assignment, cost, costs, M);
}
