#pragma once
// How a new result's elements start (results.h). A header of its own, since
// the Octave source of results.h cannot include the MEX header.

enum class ResultStart {
    zeros, // every element 0.0: the caller adds into it or leaves parts alone
    unset, // any values: the caller writes every element before it returns
};
