#pragma once
// Reproducible random inputs for the benchmarks.

#include <cstddef>
#include <random>
#include <vector>

// count values drawn uniformly from [low, high).
inline std::vector<double> uniformValues(std::size_t count, std::mt19937_64* generator,
                                         double low = 0.0, double high = 1.0)
{
    std::uniform_real_distribution<double> uniform(low, high);
    std::vector<double> values(count);
    for (double& value : values) value = uniform(*generator);
    return values;
}
