// The natural logarithm in double-double arithmetic with a final rounding test.
//
// x = 2^e * m with m in [0.75, 1.5); k = round(256 m) picks c_k ~ 256 / k from
// the table, so that r = m * c_k - 1 is small (|r| <= 0.5 / 192 < 2^-8.58) and
//
//   ln x = e * ln 2 + (-ln c_k) + ln(1 + r).
//
// r is computed exactly as a double-double (Dekker's product: no fused
// multiply-add needed). ln(1 + r) is its Taylor series to r^13 (the rest is
// below 2^-115 |r|): the terms from r^8 on in double precision, the others
// by Horner's rule in double-double. Near x = 1 (k = 256) c_k is exactly 1,
// e is 0 and r = x - 1, so small results keep their relative accuracy; for
// every other k, |ln x| >= 0.0019 and the sum loses at most 2 bits
// (e = -1, m near 1.5: -ln 2 + ln 1.5).
//
// Error: each double-double operation errs by at most a few 2^-106 relative,
// the table and ln 2 by 2^-107, the truncated series by 2^-115; together
// well below 2^-100 |ln x|. The result hi + lo is rounded to hi + lo, and the
// rounding test checks that both ends of hi + lo -+ 2^-99 |hi| round to the
// same double; then that double is the correctly rounded logarithm.

#include "natural_log.h"

#include "natural_log_table.h"

#include <cstdint>
#include <cstring>
#include <limits>

namespace
{

using natural_log_table::kTable;
using natural_log_table::TableEntry;

constexpr double kLn2High = 0x1.62e42fefa39efp-1;
constexpr double kLn2Low = 0x1.abc9e3b39803fp-56;

struct DoubleDouble {
    double high;
    double low;
};

// a + b exactly as high + low (Knuth), for any a and b.
DoubleDouble twoSum(double a, double b)
{
    const double s = a + b;
    const double bVirtual = s - a;
    const double aVirtual = s - bVirtual;
    return {s, (a - aVirtual) + (b - bVirtual)};
}

// a + b exactly, when |a| >= |b| or a is 0 (Dekker).
DoubleDouble fastTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

// Veltkamp's split of a into two halves of 26 bits each.
void split(double a, double* high, double* low)
{
    const double scaled = 134217729.0 * a; // 2^27 + 1
    *high = scaled - (scaled - a);
    *low = a - *high;
}

// a * b exactly as high + low (Dekker), barring overflow and underflow.
DoubleDouble twoProduct(double a, double b)
{
    const double p = a * b;
    double aHigh, aLow, bHigh, bLow;
    split(a, &aHigh, &aLow);
    split(b, &bHigh, &bLow);
    const double error = ((aHigh * bHigh - p) + aHigh * bLow + aLow * bHigh) + aLow * bLow;
    return {p, error};
}

DoubleDouble add(DoubleDouble a, DoubleDouble b)
{
    DoubleDouble s = twoSum(a.high, b.high);
    const DoubleDouble t = twoSum(a.low, b.low);
    s.low = s.low + t.high;
    s = fastTwoSum(s.high, s.low);
    s.low = s.low + t.low;
    return fastTwoSum(s.high, s.low);
}

DoubleDouble multiply(DoubleDouble a, DoubleDouble b)
{
    DoubleDouble p = twoProduct(a.high, b.high);
    p.low = p.low + (a.high * b.low + a.low * b.high);
    return fastTwoSum(p.high, p.low);
}

// ln(1 + r) for |r| < 2^-8.5, r a double-double.
DoubleDouble logOnePlus(DoubleDouble r)
{
    const double x = r.high;
    double tail = 1.0 / 13.0;
    tail = -1.0 / 12.0 + x * tail;
    tail = 1.0 / 11.0 + x * tail;
    tail = -1.0 / 10.0 + x * tail;
    tail = 1.0 / 9.0 + x * tail;
    tail = -1.0 / 8.0 + x * tail;
    DoubleDouble sum{tail, 0.0};
    for (int j = 7; j >= 1; --j) {
        const natural_log_table::SeriesTerm& term = natural_log_table::kSeries[j - 1];
        sum = add({term.high, term.low}, multiply(r, sum));
    }
    return multiply(r, sum);
}

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

// x reduced to e, the table entry and r = m * c - 1 as an exact double-double.
struct Reduced {
    int e;
    const TableEntry* entry;
    DoubleDouble r;
};

// Special arguments (NaN, negative, 0, +Inf) give their result in *special
// and false.
bool reduce(double x, Reduced* reduced, double* special)
{
    if (x != x) { // NaN, quieted
        *special = x + x;
        return false;
    }
    if (x < 0.0) { // invalid: the default NaN
        *special = (x - x) / (x - x);
        return false;
    }
    if (x == 0.0) {
        *special = -std::numeric_limits<double>::infinity();
        return false;
    }
    if (x == std::numeric_limits<double>::infinity()) {
        *special = x;
        return false;
    }
    std::uint64_t bits = bitsOf(x);
    int e = static_cast<int>(bits >> 52) - 1023;
    if (e == -1023) { // subnormal: scale into the normal range
        bits = bitsOf(x * 0x1p54);
        e = static_cast<int>(bits >> 52) - 1023 - 54;
    }
    double m = fromBits((bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull); // [1, 2)
    if (m >= 1.5) {
        m = m * 0.5;
        e = e + 1;
    }
    const int k = static_cast<int>(m * 256.0 + 0.5);
    reduced->e = e;
    reduced->entry = &kTable[k - 192];
    // r = m * c - 1 exactly: the product is within 2^-8 of 1, so subtracting
    // 1 from its high part is exact.
    const DoubleDouble product = twoProduct(m, reduced->entry->c);
    reduced->r = twoSum(product.high - 1.0, product.low);
    return true;
}

// e * ln 2 + (-ln c) + logOfOnePlusR, in double-double.
DoubleDouble assemble(const Reduced& reduced, DoubleDouble logOfOnePlusR)
{
    DoubleDouble result = add({reduced.entry->high, reduced.entry->low}, logOfOnePlusR);
    if (reduced.e != 0) {
        const double exponent = reduced.e;
        DoubleDouble scaledLn2 = twoProduct(exponent, kLn2High);
        scaledLn2.low = scaledLn2.low + exponent * kLn2Low;
        result = add(fastTwoSum(scaledLn2.high, scaledLn2.low), result);
    }
    return result;
}

// Whether every value within relativeError of hi + lo rounds to one double.
bool roundsSurely(DoubleDouble value, double relativeError)
{
    const double error = (value.high < 0 ? -value.high : value.high) * relativeError;
    return value.high + (value.low - error) == value.high + (value.low + error);
}

// ln(1 + r) = r + r^2 Q(r) with Q evaluated in double precision: Q(t) =
// -1/2 + t/3 - ... + t^7/9 at t = r.high, and the first-order term of r.low
// in r^2 Q(r), -t * r.low.
//
// Error, |t| < 2^-8.58: the series beyond t^9 is below 2^-80 (absolute);
// t^2 Q(t) (|.| < 2^-18.1) is evaluated with a relative error below 2^-51,
// so an absolute one below 2^-69.1; adding r.low, the cross term and that sum
// in double precision costs at most 2^-71; the double-double assembly
// 2^-100 relative. Where the table entry or e is not zero, |ln x| >= 2^-9.04,
// so the total is below 2^-59 |ln x|; where both are zero, ln x = r + r^2 Q
// with |ln x| >= 0.99 |r| and every error scales with r^2, which gives below
// 2^-60 |ln x|. The rounding test allows 2^-57 |ln x|, four times that.
DoubleDouble quickLogOnePlus(DoubleDouble r)
{
    const double t = r.high;
    double q = 1.0 / 9.0;
    q = -1.0 / 8.0 + t * q;
    q = 1.0 / 7.0 + t * q;
    q = -1.0 / 6.0 + t * q;
    q = 1.0 / 5.0 + t * q;
    q = -1.0 / 4.0 + t * q;
    q = 1.0 / 3.0 + t * q;
    q = -1.0 / 2.0 + t * q;
    const double rest = r.low + ((t * t) * q - t * r.low);
    return fastTwoSum(t, rest);
}

} // namespace

double naturalLogAccurate(double x, bool* certainlyRounded)
{
    *certainlyRounded = true;
    Reduced reduced;
    double special = 0.0;
    if (!reduce(x, &reduced, &special)) return special;
    const DoubleDouble result = assemble(reduced, logOnePlus(reduced.r));
    *certainlyRounded = roundsSurely(result, 0x1p-99);
    return result.high + result.low;
}

// A quick evaluation first, good to 2^-59; only where its rounding test
// cannot tell the rounded result (a few per cent of arguments) the accurate
// one. Where the quick test passes, the true logarithm is more than 3 * 2^-59
// |ln x| from every rounding boundary, so the accurate evaluation's test
// passes too and gives the same double: the result is that of
// naturalLogAccurate for every argument.
double naturalLog(double x, bool* certainlyRounded)
{
    *certainlyRounded = true;
    Reduced reduced;
    double special = 0.0;
    if (!reduce(x, &reduced, &special)) return special;
    const DoubleDouble quick = assemble(reduced, quickLogOnePlus(reduced.r));
    if (roundsSurely(quick, 0x1p-57)) return quick.high + quick.low;
    const DoubleDouble result = assemble(reduced, logOnePlus(reduced.r));
    *certainlyRounded = roundsSurely(result, 0x1p-99);
    return result.high + result.low;
}

double naturalLog(double x)
{
    bool certainlyRounded = false;
    return naturalLog(x, &certainlyRounded);
}
