#pragma once
// Result arrays of the entry layers: real double arrays that a call creates,
// writes and stores in its result slots.
//
// Built from one of two sources. results_mex.cpp creates them through the MEX
// API (MATLAB, the stand-in host and every build without Octave's headers):
// there every new array is zero-filled and the host hands it back as it is.
// results_octave.cpp (GNU Octave only) creates Octave's own arrays, which
// Octave takes back without the copy it makes of every MEX-API result. In
// both builds the host reclaims a result however the call ends: stored in a
// slot, left out of every slot, or abandoned by an error of ours or of the
// host (out of memory in mxMalloc, for one).
//
// The caller passes sizes that it has checked: each fits a 32-bit signed
// count and their product an addressable block of doubles.

#include <cstddef>

#include "mex.h"
#include "result_start.h"

// A new rows-by-columns result.
mxArray* newResultMatrix(std::size_t rows, std::size_t columns, ResultStart start);

// A new rows-by-columns-by-pages result (trailing singleton dimensions are
// dropped, as the hosts drop them).
mxArray* newResultArray3(std::size_t rows, std::size_t columns, std::size_t pages,
                         ResultStart start);

// A new 1-by-1 result holding value.
mxArray* newResultScalar(double value);

// Gives up a result that was created but will not be returned: the call is
// about to fail, or the caller asked for fewer results. After this the array
// must not be used or stored in a slot.
void discardResult(mxArray* result);
