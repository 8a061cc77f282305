#pragma once
// The natural logarithm of the log-likelihood, the same bits on every
// platform.
//
// Platforms' own log() differ in their last bit on some arguments (glibc on
// x86-64 and on i386, MinGW's runtime), so the log-likelihood would differ
// between builds. naturalLog uses IEEE double operations alone (no fused
// multiply-add, no wider format, no library function), so every build with
// IEEE double arithmetic returns the same value, and that value is the
// correctly rounded logarithm (see natural_log.cpp for the error bound).
//
// Special arguments as C's log: NaN gives NaN, +Inf gives +Inf, +-0 gives
// -Inf, a negative number (also -Inf) gives NaN, 1 gives +0.
double naturalLog(double x);

// The same, also telling whether the result passed the final rounding test,
// i.e. is certainly the correctly rounded logarithm. Tests count the arguments
// that fail it (none is known); those still get the deterministic nearest
// double of the double-double result.
double naturalLog(double x, bool* certainlyRounded);

// The same logarithm evaluated by the double-double series for every
// argument: naturalLog gives its bits everywhere, and tests prove it.
double naturalLogAccurate(double x, bool* certainlyRounded);
