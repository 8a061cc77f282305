// The natural logarithm of several arguments at once, one per lane, compiled
// once per vector unit. Each lane runs the operations of naturalLog's quick
// evaluation (natural_log.cpp) in the same order, and where its rounding test
// fails those of the accurate series, so it rounds exactly as the scalar code
// does. A block holding an argument that is not a positive normal number is
// left to the scalar naturalLog.
#include "vector_lanes.h"

#include <cstdint>
#include <cstring>

#include "natural_log.h"
#include "natural_log_table.h"

namespace VECTOR_UNIT_NAMESPACE
{
namespace
{

constexpr std::uint32_t L = kDoubleLanes;
typedef std::int64_t IntegerLanes __attribute__((vector_size(kDoubleLanes * sizeof(double))));

constexpr double kLn2High = 0x1.62e42fefa39efp-1;
constexpr double kLn2Low = 0x1.abc9e3b39803fp-56;

struct Pair {
    DoubleLanes high;
    DoubleLanes low;
};

inline DoubleLanes broadcast(double x)
{
    DoubleLanes v;
    for (std::uint32_t l = 0; l < L; ++l) v[l] = x;
    return v;
}

inline Pair twoSum(DoubleLanes a, DoubleLanes b)
{
    const DoubleLanes s = a + b;
    const DoubleLanes bVirtual = s - a;
    const DoubleLanes aVirtual = s - bVirtual;
    return {s, (a - aVirtual) + (b - bVirtual)};
}

inline Pair fastTwoSum(DoubleLanes a, DoubleLanes b)
{
    const DoubleLanes s = a + b;
    return {s, b - (s - a)};
}

inline void split(DoubleLanes a, DoubleLanes* high, DoubleLanes* low)
{
    const DoubleLanes scaled = broadcast(134217729.0) * a;
    *high = scaled - (scaled - a);
    *low = a - *high;
}

inline Pair twoProduct(DoubleLanes a, DoubleLanes b)
{
    const DoubleLanes p = a * b;
    DoubleLanes aHigh, aLow, bHigh, bLow;
    split(a, &aHigh, &aLow);
    split(b, &bHigh, &bLow);
    const DoubleLanes error = ((aHigh * bHigh - p) + aHigh * bLow + aLow * bHigh) + aLow * bLow;
    return {p, error};
}

inline Pair add(Pair a, Pair b)
{
    Pair s = twoSum(a.high, b.high);
    const Pair t = twoSum(a.low, b.low);
    s.low = s.low + t.high;
    s = fastTwoSum(s.high, s.low);
    s.low = s.low + t.low;
    return fastTwoSum(s.high, s.low);
}

inline Pair quickLogOnePlus(Pair r)
{
    const DoubleLanes t = r.high;
    DoubleLanes q = broadcast(1.0 / 9.0);
    q = broadcast(-1.0 / 8.0) + t * q;
    q = broadcast(1.0 / 7.0) + t * q;
    q = broadcast(-1.0 / 6.0) + t * q;
    q = broadcast(1.0 / 5.0) + t * q;
    q = broadcast(-1.0 / 4.0) + t * q;
    q = broadcast(1.0 / 3.0) + t * q;
    q = broadcast(-1.0 / 2.0) + t * q;
    const DoubleLanes rest = r.low + ((t * t) * q - t * r.low);
    return fastTwoSum(t, rest);
}

inline Pair multiply(Pair a, Pair b)
{
    Pair p = twoProduct(a.high, b.high);
    p.low = p.low + (a.high * b.low + a.low * b.high);
    return fastTwoSum(p.high, p.low);
}

// The double-double series of naturalLogAccurate.
inline Pair logOnePlus(Pair r)
{
    const DoubleLanes x = r.high;
    DoubleLanes tail = broadcast(1.0 / 13.0);
    tail = broadcast(-1.0 / 12.0) + x * tail;
    tail = broadcast(1.0 / 11.0) + x * tail;
    tail = broadcast(-1.0 / 10.0) + x * tail;
    tail = broadcast(1.0 / 9.0) + x * tail;
    tail = broadcast(-1.0 / 8.0) + x * tail;
    Pair sum{tail, broadcast(0.0)};
    for (int j = 7; j >= 1; --j) {
        const natural_log_table::SeriesTerm& term = natural_log_table::kSeries[j - 1];
        sum = add({broadcast(term.high), broadcast(term.low)}, multiply(r, sum));
    }
    return multiply(r, sum);
}

// The argument reduced as naturalLog reduces it, lane by lane.
struct Reduced {
    DoubleLanes exponent;
    DoubleLanes tableHigh;
    DoubleLanes tableLow;
    Pair r;
};

inline Reduced reduce(const double* x)
{
    DoubleLanes m, c;
    Reduced reduced;
    for (std::uint32_t l = 0; l < L; ++l) {
        std::uint64_t bits;
        std::memcpy(&bits, x + l, sizeof bits);
        int e = static_cast<int>(bits >> 52) - 1023;
        const std::uint64_t mantissaBits = (bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
        double mantissa;
        std::memcpy(&mantissa, &mantissaBits, sizeof mantissa);
        if (mantissa >= 1.5) {
            mantissa = mantissa * 0.5;
            e = e + 1;
        }
        const int k = static_cast<int>(mantissa * 256.0 + 0.5);
        const natural_log_table::TableEntry& entry = natural_log_table::kTable[k - 192];
        m[l] = mantissa;
        reduced.exponent[l] = e;
        c[l] = entry.c;
        reduced.tableHigh[l] = entry.high;
        reduced.tableLow[l] = entry.low;
    }
    const Pair product = twoProduct(m, c);
    reduced.r = twoSum(product.high - broadcast(1.0), product.low);
    return reduced;
}

// e * ln 2 + (-ln c) + logOfOnePlusR; lanes with e = 0 skip the first term.
inline Pair assemble(const Reduced& reduced, Pair logOfOnePlusR)
{
    Pair result = add({reduced.tableHigh, reduced.tableLow}, logOfOnePlusR);
    const DoubleLanes exponent = reduced.exponent;
    Pair scaledLn2 = twoProduct(exponent, broadcast(kLn2High));
    scaledLn2.low = scaledLn2.low + exponent * broadcast(kLn2Low);
    const Pair withExponent = add(fastTwoSum(scaledLn2.high, scaledLn2.low), result);
    const auto hasExponent = exponent != broadcast(0.0);
    result.high = hasExponent ? withExponent.high : result.high;
    result.low = hasExponent ? withExponent.low : result.low;
    return result;
}

// The quick logarithms of x[0 .. L), all positive normal numbers, into out;
// returns the lanes whose rounding test passed as bits 0 .. L-1.
inline unsigned quickLogs(double* out, const double* x)
{
    const Reduced reduced = reduce(x);
    const Pair quick = assemble(reduced, quickLogOnePlus(reduced.r));
    const DoubleLanes magnitude = quick.high < broadcast(0.0) ? -quick.high : quick.high;
    const DoubleLanes error = magnitude * broadcast(0x1p-57);
    const auto sure = quick.high + (quick.low - error) == quick.high + (quick.low + error);
    const DoubleLanes value = quick.high + quick.low;
    std::memcpy(out, &value, sizeof value);
    unsigned lanes = 0;
    for (std::uint32_t l = 0; l < L; ++l) lanes |= sure[l] ? 1u << l : 0u;
    return lanes;
}

// The accurate logarithms of x[0 .. L), all positive normal numbers.
inline DoubleLanes accurateLogs(const double* x)
{
    const Reduced reduced = reduce(x);
    const Pair accurate = assemble(reduced, logOnePlus(reduced.r));
    return accurate.high + accurate.low;
}

// Arguments whose logarithms one round takes: first the quick evaluation of
// all, then the accurate one of those whose test failed, packed into lanes.
constexpr std::uint32_t kRound = 64;

inline bool positiveNormal(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits >= 0x0010000000000000ull && bits < 0x7FF0000000000000ull;
}

} // namespace

void naturalLogs(double* out, const double* x, std::uint32_t n)
{
    for (std::uint32_t first = 0; first < n; first += kRound) {
        const std::uint32_t end = n - first < kRound ? n : first + kRound;
        std::uint32_t unsure[kRound];
        std::uint32_t unsureCount = 0;
        std::uint32_t i = first;
        for (; i + L <= end; i += L) {
            bool ordinary = true;
            for (std::uint32_t l = 0; l < L; ++l) ordinary = ordinary && positiveNormal(x[i + l]);
            if (!ordinary) {
                for (std::uint32_t l = 0; l < L; ++l) out[i + l] = naturalLog(x[i + l]);
                continue;
            }
            const unsigned sure = quickLogs(out + i, x + i);
            for (std::uint32_t l = 0; l < L; ++l)
                if (!(sure >> l & 1u)) unsure[unsureCount++] = i + l;
        }
        for (; i < end; ++i) out[i] = naturalLog(x[i]);
        // Unused lanes repeat the first unsure argument.
        for (std::uint32_t u = 0; u < unsureCount; u += L) {
            double arguments[L];
            for (std::uint32_t l = 0; l < L; ++l)
                arguments[l] = x[unsure[u + l < unsureCount ? u + l : u]];
            const DoubleLanes logs = accurateLogs(arguments);
            for (std::uint32_t l = 0; l < L && u + l < unsureCount; ++l)
                out[unsure[u + l]] = logs[l];
        }
    }
}

} // namespace VECTOR_UNIT_NAMESPACE
