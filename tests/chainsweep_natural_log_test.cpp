// chainsweep's own natural logarithm against the C library's log, on special
// arguments and on millions of arguments of every kind: where the two differ,
// they differ by one unit in the last place and ours is the nearer to the
// true logarithm (judged by the x87 extended-precision logl, where the
// platform has it). NATURAL_LOG_ARGUMENTS sets how many arguments of each
// kind (`make test-log` runs many more).

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "natural_log.h"
#include "seeded_sequence.h"

namespace
{

std::uint64_t bitsOf(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

double fromBits(std::uint64_t bits)
{
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

long argumentsPerKind()
{
    const char* setting = std::getenv("NATURAL_LOG_ARGUMENTS");
    const long count = setting ? std::atol(setting) : 0;
    if (count > 0) return count;
    const char* preload = std::getenv("LD_PRELOAD");
    const bool underValgrind = preload && std::strstr(preload, "vgpreload");
    return underValgrind ? 20000 : 500000;
}

// Whether long double holds more than a double's precision at run time
// (not under valgrind, which computes x87 operations in double precision).
bool extendedPrecision()
{
    volatile long double one = 1.0L;
    volatile long double sum = one + 0x1p-60L;
    return LDBL_MANT_DIG > 60 && sum != one;
}

struct Tally {
    long arguments = 0;
    long differing = 0;
    long notCertain = 0;
};

// Checks one argument; returns false (after reporting) on a fault.
bool check(double x, bool extended, Tally* tally)
{
    bool certain = false;
    const double ours = naturalLog(x, &certain);
    // The quick evaluation must give the accurate one's bits everywhere.
    bool accurateCertain = false;
    const double accurate = naturalLogAccurate(x, &accurateCertain);
    if (bitsOf(ours) != bitsOf(accurate) || certain != accurateCertain) {
        ADD_FAILURE() << std::hexfloat << "log(" << x << "): quick " << ours << ", accurate "
                      << accurate;
        return false;
    }
    const double library = std::log(x);
    ++tally->arguments;
    if (!certain) ++tally->notCertain;
    if (bitsOf(ours) == bitsOf(library)) return true;
    ++tally->differing;
    const std::uint64_t a = bitsOf(ours), b = bitsOf(library);
    const bool oneUlp = (a > b ? a - b : b - a) == 1;
    bool nearer = true;
    if (extended) {
        const long double exact = logl(static_cast<long double>(x));
        nearer = fabsl(ours - exact) <= fabsl(library - exact);
    }
    if (oneUlp && nearer) return true;
    ADD_FAILURE() << std::hexfloat << "log(" << x << "): ours " << ours << ", library " << library;
    return false;
}

void report(const char* kind, const Tally& tally, bool allCertain = true)
{
    std::printf("natural log, %-28s %10ld arguments, %7ld differ from the C library (1 in %.0f), "
                "%ld not certainly rounded\n",
                kind, tally.arguments, tally.differing,
                tally.differing ? double(tally.arguments) / tally.differing : 0.0,
                tally.notCertain);
    if (allCertain) {
        EXPECT_EQ(tally.notCertain, 0) << kind;
    }
}

} // namespace

TEST(NaturalLog, SpecialArgumentsAsTheCLibrary)
{
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(bitsOf(naturalLog(1.0)), bitsOf(0.0)); // +0
    EXPECT_EQ(naturalLog(0.0), -inf);
    EXPECT_EQ(naturalLog(-0.0), -inf);
    EXPECT_EQ(naturalLog(inf), inf);
    EXPECT_TRUE(std::isnan(naturalLog(-inf)));
    EXPECT_TRUE(std::isnan(naturalLog(-1.0)));
    EXPECT_TRUE(std::isnan(naturalLog(-0x1p-1074)));
    // A NaN argument comes back with its payload, quieted.
    const double payload = fromBits(0x7FF0000000000123ull); // signalling
    EXPECT_EQ(bitsOf(naturalLog(payload)), 0x7FF8000000000123ull);
    const double quiet = fromBits(0xFFF8000000000456ull);
    EXPECT_EQ(bitsOf(naturalLog(quiet)), 0xFFF8000000000456ull);
    // The ends of the range, next to 1 and the powers of two.
    EXPECT_EQ(naturalLog(0x1p-1074), -0x1.74385446d71c3p+9);
    EXPECT_EQ(naturalLog(DBL_MAX), 0x1.62e42fefa39efp+9);
    EXPECT_EQ(naturalLog(1.0 - 0x1p-53), -0x1p-53);
    EXPECT_EQ(naturalLog(1.0 + 0x1p-52), 0x1.fffffffffffffp-53);
    EXPECT_EQ(naturalLog(2.0), 0x1.62e42fefa39efp-1);
    const bool extended = extendedPrecision();
    Tally powers;
    for (int e = -1074; e <= 1023; ++e) check(std::ldexp(1.0, e), extended, &powers);
    // Both neighbours of every power of two, and of 1 a few hundred steps.
    Tally neighbours;
    for (int e = -1022; e <= 1023; ++e) {
        const double power = std::ldexp(1.0, e);
        check(std::nextafter(power, 0.0), extended, &neighbours);
        check(std::nextafter(power, inf), extended, &neighbours);
    }
    for (int k = 1; k <= 500; ++k) {
        check(1.0 + k * 0x1p-52, extended, &neighbours);
        check(1.0 - k * 0x1p-53, extended, &neighbours);
    }
    // Next to 1, ln(1 + r) = r - r^2/2 + r^3/3 ... with r a few units in the
    // last place lies within 2^-105 of a midpoint between doubles for a few
    // r: beyond what the rounding test can decide, these are the only
    // arguments known to fail it (3 of these 1000).
    EXPECT_LE(neighbours.notCertain, 3);
    report("powers of two", powers);
    report("next to 1 and to 2^e", neighbours, false);
}

TEST(NaturalLog, AgreesWithTheCLibraryOrIsNearerOnEveryKindOfArgument)
{
    const long count = argumentsPerKind();
    const bool extended = extendedPrecision();
    Sequence random{20261208};
    struct Kind {
        const char* name;
        double (*make)(std::uint64_t);
    };
    const Kind kinds[] = {
        {"positive doubles (all bits)",
         [](std::uint64_t r) { return fromBits((r >> 1) % 0x7FF0000000000000ull); }},
        {"[0.5, 2)", [](std::uint64_t r) { return fromBits(0x3FE0000000000000ull + (r >> 11)); }},
        {"within 2^-20 of 1",
         [](std::uint64_t r) {
             return 1.0 + (double(std::int64_t(r >> 11) - (1ll << 52)) * 0x1p-72);
         }},
        {"subnormals", [](std::uint64_t r) { return fromBits(1 + (r >> 12)); }},
    };
    int faults = 0;
    for (const Kind& kind : kinds) {
        Tally tally;
        for (long i = 0; i < count && faults < 10; ++i) {
            if (!check(kind.make(random.next()), extended, &tally)) ++faults;
        }
        report(kind.name, tally);
    }
    if (!extended) std::printf("natural log: no extended precision here, nearness not judged\n");
}

TEST(NaturalLog, SameBitsOnEveryPlatform)
{
    // A digest of the results on a fixed sequence of arguments of every
    // exponent: every build must print the same.
    Sequence random{1};
    std::uint64_t digest = 0xCBF29CE484222325ull;
    for (int i = 0; i < 200000; ++i) {
        const double x = fromBits((random.next() >> 1) % 0x7FF0000000000000ull);
        const std::uint64_t bits = bitsOf(naturalLog(x));
        for (int byte = 0; byte < 8; ++byte) {
            digest = (digest ^ ((bits >> (8 * byte)) & 0xFF)) * 0x100000001B3ull;
        }
    }
    EXPECT_EQ(digest, 14547514144443098347ull) << digest;
}
