#pragma once
// splitmix64: seeded random numbers that are the same on every platform,
// for inputs that every build must agree on.

#include <cstdint>

struct Sequence {
    std::uint64_t state;
    std::uint64_t next()
    {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // A multiple of 2^-53 in [0, 1): exact on every platform.
    double unit() { return double(next() >> 11) * 0x1p-53; }
    int below(int n) { return int(next() % std::uint64_t(n)); }
};
