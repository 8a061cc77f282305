#pragma once
// Families of cost matrices for the assignment tests: ties, rounding at
// once, sums that leave the exact range late, forbidden pairs, subnormals,
// geometry and near ties.

#include <cmath>
#include <random>
#include <vector>

enum BestmatchFamily {
    kIntegers,       // integers in [0, 100)
    kProducts,       // (i + 1)(j + 1)
    kSixtyFourths,   // k/64
    kUniform,        // uniform in [0, 1)
    kPowersOfTen,    // 10^(-12U)
    kZeroTinyOne,    // 0, tiny, ~1
    kDecimals,       // one decimal, many ties
    kExponential,    // exp(-20U)
    kForbiddenTies,  // infinite among small integers
    kForbiddenLines, // a forbidden row and column
    kTinyHuge,       // 1e-9 next to 1e9
    kNearTwoToFifty, // integers near 2^50: sums leave the exact range
    kSubnormals,     // multiples of 2^-1070
    kMixedTiny,      // 0, 1e-15..1e-18 and ~1 in the same rows
    kEuclidean,      // distances between random points in the unit square
    kNearTies,       // a(i) + b(j) + 1e-15 U: nearly every assignment costs the same
    kZeroOrOne,      // half zeros: long lists of zeros
    kFamilies
};

inline std::vector<double> familyCosts(int family, int M, int N, std::mt19937_64& rng)
{
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<double> costs(std::size_t(M) * N);
    std::vector<double> rowValues(2 * std::size_t(M)), columnValues(2 * std::size_t(N));
    for (double& v : rowValues) v = unit(rng);
    for (double& v : columnValues) v = unit(rng);
    for (int j = 0; j < N; ++j) {
        for (int i = 0; i < M; ++i) {
            const double u = unit(rng);
            double& v = costs[i + std::size_t(j) * M];
            switch (family) {
            case kIntegers:
                v = double(int(u * 100));
                break;
            case kProducts:
                v = double((i + 1) * (j + 1));
                break;
            case kSixtyFourths:
                v = double(int(u * 64)) / 64;
                break;
            case kUniform:
                v = u;
                break;
            case kPowersOfTen:
                v = std::pow(10.0, -12 * u);
                break;
            case kZeroTinyOne:
                v = u < 0.3 ? 0.0 : u < 0.6 ? 1e-16 * u : 1 + u;
                break;
            case kDecimals:
                v = std::round(10 * u) / 10;
                break;
            case kExponential:
                v = std::exp(-20 * u);
                break;
            case kForbiddenTies:
                v = u < 0.2 ? INFINITY : double(int(u * 9));
                break;
            case kForbiddenLines:
                v = i == 0 || j == N - 1 ? INFINITY : u;
                break;
            case kTinyHuge:
                v = u < 0.5 ? 1e-9 : 1e9;
                break;
            case kNearTwoToFifty:
                v = 0x1p50 + double(int(u * 4096));
                break;
            case kSubnormals:
                v = 0x1p-1070 * double(int(u * 16));
                break;
            case kMixedTiny:
                v = std::pow(10.0, -15 - 3 * u) * (u < 0.5) + (u >= 0.8) * (1 + u);
                break;
            case kEuclidean:
                v = std::hypot(rowValues[2 * i] - columnValues[2 * j],
                               rowValues[2 * i + 1] - columnValues[2 * j + 1]);
                break;
            case kNearTies:
                v = rowValues[i] + columnValues[j] + 1e-15 * u;
                break;
            default:
                v = u < 0.5 ? 0.0 : 1.0;
                break;
            }
        }
    }
    return costs;
}

// Infinite costs as the solver replaces them, for the machine alone.
inline std::vector<double> withInfinitiesReplaced(std::vector<double> costs)
{
    double largest = 0;
    for (double v : costs) largest = std::isfinite(v) && v > largest ? v : largest;
    for (double& v : costs)
        if (std::isinf(v)) v = largest > 0 ? largest * 10 * double(costs.size()) : 10.0;
    return costs;
}
