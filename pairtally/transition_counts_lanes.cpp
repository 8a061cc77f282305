// The two halves of the transition counts on one vector unit. Built once per
// unit (cmake's add_vector_unit_sources).
//
// stepSums: the sums s_t of several steps at once, one step per lane. Each
// lane forms its own step's table entries, (A(i, j) * alpha(i, t)) * w_t(j)
// with w_t(j) = beta(j, t+1) * obslik(j, t+1), and adds them from 0 row by
// row, exactly the chain of the plain loops; the chains of the lanes and of
// the registers are independent, so the sums no longer wait on each other.
//
// addQuotients: out(i, j) += X_t(i, j) / s_t for t from the last step down to
// 0, lanes across the rows i of a column of out. The entries X_t are formed
// again with the same two products; every element of out receives its
// quotients in descending t, as in the plain loops.

#include "vector_lanes.h"

#include <cstddef>
#include <cstring>

namespace VECTOR_UNIT_NAMESPACE
{
namespace
{

constexpr std::size_t kLanes = kDoubleLanes;
// Registers of steps summed at once, and registers of out rows per column.
constexpr std::size_t kSumRegisters = 4;
constexpr std::size_t kOutRegisters = 4;
// Steps whose columns of alpha are reused from cache across the columns of out.
constexpr std::size_t kStepBlock = 64;

DoubleLanes splat(double value)
{
    DoubleLanes lanes;
    for (std::size_t lane = 0; lane < kLanes; ++lane) lanes[lane] = value;
    return lanes;
}

DoubleLanes load(const double* from)
{
    DoubleLanes lanes;
    std::memcpy(&lanes, from, sizeof lanes);
    return lanes;
}

void store(double* to, DoubleLanes lanes) { std::memcpy(to, &lanes, sizeof lanes); }

// stepSums taken a piece at a time: the sums of one group of steps, row i
// and column j of the tables being the next entry each lane adds.
struct SumCursor {
    std::size_t K;
    const double* A;
    const double* alphaByStep;
    const double* weightByStep;
    std::size_t i;
    std::size_t j;
    DoubleLanes alphaI[kSumRegisters];
    DoubleLanes sum[kSumRegisters];
};

constexpr std::size_t kGroup = kLanes * kSumRegisters;
static_assert(kGroup <= kStepBlock, "a group of steps fits the block of weights");

// Lays out steps first .. first + kGroup - 1 (all present) for the cursor.
void startSums(SumCursor* c, std::size_t K, std::size_t first, const double* alpha,
               const double* beta, const double* A, const double* obslik, double* work)
{
    double* alphaByStep = work;
    double* weightByStep = work + K * kGroup;
    for (std::size_t i = 0; i < K; ++i) {
        for (std::size_t s = 0; s < kGroup; ++s) {
            const std::size_t t = first + s;
            alphaByStep[i * kGroup + s] = alpha[i + t * K];
            weightByStep[i * kGroup + s] = beta[i + (t + 1) * K] * obslik[i + (t + 1) * K];
        }
    }
    c->K = K;
    c->A = A;
    c->alphaByStep = alphaByStep;
    c->weightByStep = weightByStep;
    c->i = 0;
    c->j = 0;
    for (std::size_t r = 0; r < kSumRegisters; ++r) {
        c->sum[r] = splat(0.0);
        c->alphaI[r] = load(alphaByStep + r * kLanes);
    }
}

// Adds the next entry of every lane's table; false once all are added.
inline bool advanceSums(SumCursor* c)
{
    if (c->i == c->K) return false;
    const DoubleLanes a = splat(c->A[c->i + c->j * c->K]);
    const double* w = c->weightByStep + c->j * kGroup;
#pragma GCC unroll 4
    for (std::size_t r = 0; r < kSumRegisters; ++r) {
        const DoubleLanes x = (a * c->alphaI[r]) * load(w + r * kLanes);
        c->sum[r] = c->sum[r] + x;
    }
    if (++c->j == c->K) {
        c->j = 0;
        if (++c->i < c->K) {
#pragma GCC unroll 4
            for (std::size_t r = 0; r < kSumRegisters; ++r)
                c->alphaI[r] = load(c->alphaByStep + c->i * kGroup + r * kLanes);
        }
    }
    return true;
}

// The cursor's remaining entries; then sums[s] is the sum of step first + s
// of its group.
void finishSums(SumCursor* c, double* sums)
{
    while (advanceSums(c)) {
    }
    for (std::size_t r = 0; r < kSumRegisters; ++r)
        for (std::size_t lane = 0; lane < kLanes; ++lane) sums[r * kLanes + lane] = c->sum[r][lane];
}

// out(i, j) += X_t(i, j) / sums[t - low] for the columns j = firstColumn ..
// endColumn - 1 and t = end - 1 down to low (at most kStepBlock steps);
// every quotient round of the widest row block also moves the cursor (if
// any) one entry on, so the sums' multiplications and additions run beside
// the divisions.
void quotientsBeside(std::size_t K, std::size_t low, std::size_t end, const double* alpha,
                     const double* beta, const double* A, const double* obslik, const double* sums,
                     std::size_t firstColumn, std::size_t endColumn, double* out, SumCursor* cursor)
{
    double weights[kStepBlock];
    for (std::size_t j = firstColumn; j < endColumn; ++j) {
        for (std::size_t t = low; t < end; ++t)
            weights[t - low] = beta[j + (t + 1) * K] * obslik[j + (t + 1) * K];
        double* outColumn = out + j * K;
        const double* aColumn = A + j * K;
        std::size_t i = 0;
        for (; i + kOutRegisters * kLanes <= K; i += kOutRegisters * kLanes) {
            DoubleLanes o[kOutRegisters], a[kOutRegisters];
#pragma GCC unroll 4
            for (std::size_t r = 0; r < kOutRegisters; ++r) {
                o[r] = load(outColumn + i + r * kLanes);
                a[r] = load(aColumn + i + r * kLanes);
            }
            for (std::size_t t = end; t-- > low;) {
                const DoubleLanes w = splat(weights[t - low]);
                const DoubleLanes s = splat(sums[t - low]);
                const double* alphaT = alpha + i + t * K;
#pragma GCC unroll 4
                for (std::size_t r = 0; r < kOutRegisters; ++r) {
                    const DoubleLanes x = (a[r] * load(alphaT + r * kLanes)) * w;
                    o[r] = o[r] + x / s;
                }
                if (cursor) advanceSums(cursor);
            }
#pragma GCC unroll 4
            for (std::size_t r = 0; r < kOutRegisters; ++r) store(outColumn + i + r * kLanes, o[r]);
        }
        for (; i + kLanes <= K; i += kLanes) {
            DoubleLanes o = load(outColumn + i);
            const DoubleLanes a = load(aColumn + i);
            for (std::size_t t = end; t-- > low;) {
                const DoubleLanes x = (a * load(alpha + i + t * K)) * splat(weights[t - low]);
                o = o + x / splat(sums[t - low]);
            }
            store(outColumn + i, o);
        }
        for (; i < K; ++i) {
            double o = outColumn[i];
            for (std::size_t t = end; t-- > low;) {
                const double x = (aColumn[i] * alpha[i + t * K]) * weights[t - low];
                o = o + x / sums[t - low];
            }
            outColumn[i] = o;
        }
    }
}

} // namespace

// Steps summed at once by stepSums, and the doubles of its working array.
std::size_t stepsSummedAtOnce() { return kLanes * kSumRegisters; }

// sums[s] = s_t with t = first + s for s < count (count at most
// stepsSummedAtOnce()); work holds 2 * K * stepsSummedAtOnce() doubles.
void stepSums(std::size_t K, std::size_t first, std::size_t count, const double* alpha,
              const double* beta, const double* A, const double* obslik, double* sums, double* work)
{
    constexpr std::size_t kSteps = kLanes * kSumRegisters;
    // Row i of alphaByStep holds alpha(i, t) of the steps side by side, row j
    // of weightByStep w_t(j); the lanes of absent steps hold 0.
    double* alphaByStep = work;
    double* weightByStep = work + K * kSteps;
    for (std::size_t i = 0; i < K; ++i) {
        for (std::size_t s = 0; s < kSteps; ++s) {
            const std::size_t t = first + s;
            alphaByStep[i * kSteps + s] = s < count ? alpha[i + t * K] : 0.0;
            weightByStep[i * kSteps + s] =
                s < count ? beta[i + (t + 1) * K] * obslik[i + (t + 1) * K] : 0.0;
        }
    }
    DoubleLanes sum[kSumRegisters];
    for (std::size_t r = 0; r < kSumRegisters; ++r) sum[r] = splat(0.0);
    for (std::size_t i = 0; i < K; ++i) {
        DoubleLanes alphaI[kSumRegisters];
        for (std::size_t r = 0; r < kSumRegisters; ++r) {
            alphaI[r] = load(alphaByStep + i * kSteps + r * kLanes);
        }
        for (std::size_t j = 0; j < K; ++j) {
            const DoubleLanes a = splat(A[i + j * K]);
            const double* w = weightByStep + j * kSteps;
#pragma GCC unroll 4
            for (std::size_t r = 0; r < kSumRegisters; ++r) {
                const DoubleLanes x = (a * alphaI[r]) * load(w + r * kLanes);
                sum[r] = sum[r] + x;
            }
        }
    }
    for (std::size_t r = 0; r < kSumRegisters; ++r) {
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            const std::size_t s = r * kLanes + lane;
            if (s < count) sums[s] = sum[r][lane];
        }
    }
}

// For the columns j = firstColumn .. endColumn - 1 of out and every step
// t = steps - 1 down to 0: out(i, j) += X_t(i, j) / sums[t].
void addQuotients(std::size_t K, std::size_t steps, const double* alpha, const double* beta,
                  const double* A, const double* obslik, const double* sums,
                  std::size_t firstColumn, std::size_t endColumn, double* out)
{
    for (std::size_t end = steps; end > 0;) {
        const std::size_t low = end > kStepBlock ? end - kStepBlock : 0;
        quotientsBeside(K, low, end, alpha, beta, A, obslik, sums + low, firstColumn, endColumn,
                        out, nullptr);
        end = low;
    }
}

// Both halves on one thread: groups of stepsSummedAtOnce() steps from the
// last down, the quotients of each group taken while the sums of the group
// below it are formed. Every sum and every element of out sees the
// operations of stepSums and addQuotients in their order. Only two groups'
// sums are held at once, so the working memory does not grow with the steps:
// work holds 2 * K * stepsSummedAtOnce() doubles.
void sumsAndQuotients(std::size_t K, std::size_t steps, const double* alpha, const double* beta,
                      const double* A, const double* obslik, double* work, double* out)
{
    if (steps == 0) return;
    double sums[2][kGroup];
    std::size_t group = (steps - 1) / kGroup;
    stepSums(K, group * kGroup, steps - group * kGroup, alpha, beta, A, obslik, sums[group % 2],
             work);
    for (;; --group) {
        const std::size_t low = group * kGroup;
        const std::size_t end = steps - low < kGroup ? steps : low + kGroup;
        if (group == 0) {
            quotientsBeside(K, low, end, alpha, beta, A, obslik, sums[0], 0, K, out, nullptr);
            return;
        }
        SumCursor cursor;
        startSums(&cursor, K, low - kGroup, alpha, beta, A, obslik, work);
        quotientsBeside(K, low, end, alpha, beta, A, obslik, sums[group % 2], 0, K, out, &cursor);
        finishSums(&cursor, sums[(group - 1) % 2]);
    }
}

} // namespace VECTOR_UNIT_NAMESPACE
