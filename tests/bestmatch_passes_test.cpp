// The column passes of every vector unit against the plain loops: the same
// values bit for bit, the same rows, on columns of every length around the
// register widths, with covered rows (NaN masks), ties, signed zeros,
// subnormals and infinities.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "column_passes.h"

namespace
{

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

bool sameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

struct Column {
    std::vector<double> values, mask, addend, slack, threshold, rowShift;
    double shift; // of a column: 0, or a value that moves some elements past a threshold
};

Column randomColumn(int M, std::mt19937_64& rng)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    Column c;
    c.shift = unit(rng) < 0.5 ? 0.0 : 0.5;
    for (int i = 0; i < M; ++i) {
        const double u = unit(rng);
        c.values.push_back(u < 0.2    ? 0.0
                           : u < 0.3  ? -0.0
                           : u < 0.35 ? 0x1p-1070
                           : u < 0.4  ? INFINITY
                                      : double(int(u * 6)) / 2);
        const bool covered = unit(rng) < 0.3;
        c.mask.push_back(covered ? kNan : 0.0);
        c.addend.push_back(covered ? 0.5 : -0.0);
        c.slack.push_back(unit(rng) < 0.2 ? INFINITY : double(int(unit(rng) * 4)) / 2);
        c.threshold.push_back(double(int(unit(rng) * 6)) / 2);
        c.rowShift.push_back(double(int(unit(rng) * 3)) / 4);
    }
    return c;
}

std::vector<VectorUnit> fastUnits()
{
    std::vector<VectorUnit> units;
    for (VectorUnit vu : {VectorUnit::sse2, VectorUnit::avx2, VectorUnit::avx512})
        if (vectorUnitAvailable(vu)) units.push_back(vu);
    return units;
}

} // namespace

TEST(BestmatchColumnPasses, DensePassesMatchThePlainLoops)
{
    std::mt19937_64 rng(31);
    for (VectorUnit vu : fastUnits()) {
        const ColumnPasses& fast = columnPasses(vu);
        for (int M = 0; M <= 40 && !HasFailure(); ++M) {
            for (int trial = 0; trial < 20; ++trial) {
                const Column c = randomColumn(M, rng);
                std::vector<int> plainRows(M + 1), fastRows(M + 1);
                std::vector<double> plainSlack = c.slack, fastSlack = c.slack;
                int plainCount = leastandzerosplain(c.values.data(), c.mask.data(), M,
                                                    plainSlack.data(), plainRows.data());
                int fastCount = fast.leastandzeros(c.values.data(), c.mask.data(), M,
                                                   fastSlack.data(), fastRows.data());
                EXPECT_TRUE(
                    plainCount == fastCount && sameBits(plainSlack, fastSlack) &&
                    std::equal(plainRows.begin(), plainRows.begin() + plainCount, fastRows.begin()))
                    << vectorUnitName(vu) << " leastandzeros, M=" << M;

                std::vector<double> plainColumn = c.values, fastColumn = c.values;
                plainSlack = fastSlack = c.slack;
                plainCount = shiftuncoveredplain(plainColumn.data(), c.addend.data(), c.mask.data(),
                                                 0.5, M, plainSlack.data(), plainRows.data());
                fastCount = fast.shiftuncovered(fastColumn.data(), c.addend.data(), c.mask.data(),
                                                0.5, M, fastSlack.data(), fastRows.data());
                EXPECT_TRUE(
                    plainCount == fastCount && sameBits(plainColumn, fastColumn) &&
                    sameBits(plainSlack, fastSlack) &&
                    std::equal(plainRows.begin(), plainRows.begin() + plainCount, fastRows.begin()))
                    << vectorUnitName(vu) << " shiftuncovered, M=" << M;

                plainColumn = fastColumn = c.values;
                shiftcoveredplain(plainColumn.data(), c.addend.data(), M);
                fast.shiftcovered(fastColumn.data(), c.addend.data(), M);
                EXPECT_TRUE(sameBits(plainColumn, fastColumn))
                    << vectorUnitName(vu) << " shiftcovered, M=" << M;

                plainCount = rowsatmostplain(c.values.data(), c.shift, c.threshold.data(), M,
                                             plainRows.data());
                fastCount = fast.rowsatmost(c.values.data(), c.shift, c.threshold.data(), M,
                                            fastRows.data());
                EXPECT_TRUE(
                    plainCount == fastCount &&
                    std::equal(plainRows.begin(), plainRows.begin() + plainCount, fastRows.begin()))
                    << vectorUnitName(vu) << " rowsatmost, M=" << M;
            }
        }
    }
}

TEST(BestmatchColumnPasses, KeyMergesMatchThePlainLoops)
{
    std::mt19937_64 rng(41);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (VectorUnit vu : fastUnits()) {
        const ColumnPasses& fast = columnPasses(vu);
        for (int M = 0; M <= 40 && !HasFailure(); ++M) {
            for (int trial = 0; trial < 30; ++trial) {
                const Column c = randomColumn(M, rng);
                const Column keys = randomColumn(M, rng);
                std::vector<double> phaseOther = keys.threshold, phaseColumn(M, 7.0);
                for (int i = 0; i < M; ++i) phaseOther[i] = std::max(phaseOther[i], keys.slack[i]);
                struct Run {
                    std::vector<double> key, other, column, rowKey;
                    std::vector<int> improved, candidates;
                    KeyMerge merge{};
                };
                const int improvedLimit = trial % 4 == 1 ? int(unit(rng) * M) : M;
                auto prepare = [&](Run& r) {
                    r.key = keys.slack;
                    r.other = phaseOther;
                    r.column = phaseColumn;
                    r.rowKey = keys.rowShift;
                    r.improved.assign(M + 1, -1);
                    r.candidates.assign(M + 1, -1);
                    r.merge = KeyMerge{};
                    r.merge.column = c.values.data();
                    r.merge.shift = 0.5;
                    r.merge.rowMask = c.mask.data();
                    r.merge.phaseKey = r.key.data();
                    r.merge.phaseOther = r.other.data();
                    r.merge.phaseColumn = r.column.data();
                    r.merge.columnNumber = 3.0;
                    r.merge.freeLeast = keys.values.data();
                    r.merge.rowKey = r.rowKey.data();
                    r.merge.rowShift = c.rowShift.data();
                    r.merge.total = 1.0;
                    r.merge.bound = 0.25;
                    r.merge.M = M;
                    r.merge.improved = r.improved.data();
                    r.merge.improvedLimit = improvedLimit;
                    r.merge.candidates = r.candidates.data();
                };
                Run plain, vector;
                prepare(plain);
                prepare(vector);
                mergekeysplain(&plain.merge);
                fast.mergekeys(&vector.merge);
                EXPECT_TRUE(
                    sameBits(plain.key, vector.key) && sameBits(plain.other, vector.other) &&
                    sameBits(plain.column, vector.column) && sameBits(plain.rowKey, vector.rowKey))
                    << vectorUnitName(vu) << " keys, M=" << M;
                EXPECT_EQ(plain.merge.improvedCount, vector.merge.improvedCount);
                if (plain.merge.improvedCount <= improvedLimit) {
                    EXPECT_EQ(plain.improved, vector.improved) << vectorUnitName(vu) << ", M=" << M;
                }
                EXPECT_EQ(plain.candidates, vector.candidates) << vectorUnitName(vu) << ", M=" << M;
            }
        }
    }
}

TEST(BestmatchColumnPasses, PreparationAndScansMatchThePlainLoops)
{
    std::mt19937_64 rng(43);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (VectorUnit vu : fastUnits()) {
        const ColumnPasses& fast = columnPasses(vu);
        for (int M = 0; M <= 40 && !HasFailure(); ++M) {
            for (int trial = 0; trial < 20; ++trial) {
                const Column c = randomColumn(M, rng);
                // The copy: a negative cost, NaN or an infinity now and then.
                std::vector<double> costs = c.values;
                for (double& v : costs) {
                    const double u = unit(rng);
                    v = u < 0.02 ? -0.5 : u < 0.05 ? kNan : u < 0.08 ? -INFINITY : v;
                }
                std::vector<double> plainTo(M, 9.0), fastTo(M, 9.0);
                double plainLargest = -1.0, fastLargest = -1.0;
                bool plainInfinite = false, fastInfinite = false, plainNan = false, fastNan = false;
                const bool plainOk = copycostsplain(plainTo.data(), costs.data(), M, &plainLargest,
                                                    &plainInfinite, &plainNan);
                const bool fastOk = fast.copycosts(fastTo.data(), costs.data(), M, &fastLargest,
                                                   &fastInfinite, &fastNan);
                ASSERT_EQ(plainOk, fastOk) << vectorUnitName(vu) << " copycosts, M=" << M;
                if (plainOk) {
                    EXPECT_TRUE(sameBits(plainTo, fastTo) && plainInfinite == fastInfinite &&
                                plainNan == fastNan && (plainLargest == fastLargest))
                        << vectorUnitName(vu) << " copycosts, M=" << M;
                }

                std::vector<double> plainLeast = c.slack, fastLeast = c.slack;
                lowerleastplain(c.values.data(), M, plainLeast.data());
                fast.lowerleast(c.values.data(), M, fastLeast.data());
                EXPECT_TRUE(sameBits(plainLeast, fastLeast)) << vectorUnitName(vu) << " lowerleast";

                std::vector<double> plainColumn(M, 5.0), fastColumn(M, 5.0);
                std::vector<int> plainZeros(M + 1), fastZeros(M + 1);
                const int plainZeroCount = subtractleastplain(
                    plainColumn.data(), c.values.data(), c.threshold.data(), M, plainZeros.data());
                const int fastZeroCount = fast.subtractleast(
                    fastColumn.data(), c.values.data(), c.threshold.data(), M, fastZeros.data());
                EXPECT_TRUE(sameBits(plainColumn, fastColumn) && plainZeroCount == fastZeroCount &&
                            std::equal(plainZeros.begin(), plainZeros.begin() + plainZeroCount,
                                       fastZeros.begin()))
                    << vectorUnitName(vu) << " subtractleast, M=" << M;
                double checkLargest = -1.0;
                bool checkInfinite = false, checkNan = false;
                EXPECT_EQ(fast.copycosts(nullptr, costs.data(), M, &checkLargest, &checkInfinite,
                                         &checkNan),
                          plainOk)
                    << vectorUnitName(vu) << " copycosts without a copy, M=" << M;

                const int from = M ? int(unit(rng) * M) : 0;
                for (double bound : {-1.0, 0.0, 0.5}) {
                    EXPECT_EQ(firstcandidateplain(c.values.data(), 0.25, c.mask.data(),
                                                  c.rowShift.data(), 1.0, bound, from, M),
                              fast.firstcandidate(c.values.data(), 0.25, c.mask.data(),
                                                  c.rowShift.data(), 1.0, bound, from, M))
                        << vectorUnitName(vu) << " firstcandidate, M=" << M;
                }

                EXPECT_EQ(leastvalueplain(c.slack.data(), M), fast.leastvalue(c.slack.data(), M))
                    << vectorUnitName(vu) << " leastvalue, M=" << M;
                for (double threshold : {0.0, 0.5, 1.0}) {
                    std::vector<int> plainAtMost(M + 1), fastAtMost(M + 1);
                    const int plainFound =
                        rowsatmostvalueplain(c.slack.data(), threshold, M, plainAtMost.data());
                    const int fastFound =
                        fast.rowsatmostvalue(c.slack.data(), threshold, M, fastAtMost.data());
                    EXPECT_TRUE(plainFound == fastFound && plainAtMost == fastAtMost)
                        << vectorUnitName(vu) << " rowsatmostvalue, M=" << M;
                }

                std::vector<double> plainFloor = c.slack, fastFloor = c.slack;
                std::vector<int> plainRows(M + 1), fastRows(M + 1);
                const int plainBelow = rowsbelowplain(c.values.data(), c.threshold.data(),
                                                      plainFloor.data(), M, plainRows.data());
                const int fastBelow = fast.rowsbelow(c.values.data(), c.threshold.data(),
                                                     fastFloor.data(), M, fastRows.data());
                EXPECT_TRUE(
                    plainBelow == fastBelow && sameBits(plainFloor, fastFloor) &&
                    std::equal(plainRows.begin(), plainRows.begin() + plainBelow, fastRows.begin()))
                    << vectorUnitName(vu) << " rowsbelow, M=" << M;
            }
        }
    }
}
