#pragma once
// Fuzzing a plug-in through the stand-in host: bytes are decoded into the
// counts of inputs and results and into host arrays of every class, with
// shapes that agree with one another more often than chance would have it,
// huge declared sizes that hold nothing, and values near every edge. One run
// calls mexFunction once and checks what the call did.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "standin.h"

namespace fuzz
{

// Reads the fuzzer's bytes; past the end every read gives 0.
class ByteReader
{
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return position_ < size_ ? data_[position_++] : 0; }
    std::uint64_t bytes(int count);
    bool exhausted() const { return position_ >= size_; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// What a plug-in expects, so that most inputs reach past its argument checks,
// and what its results must look like.
struct Plugin {
    const char* name;
    int inputs;            // the usual number of inputs
    std::vector<int> nlhs; // the usual numbers of results
    // The usual shape of each input, one letter per dimension: K and T for
    // the sizes the inputs share, 1 for a singleton ("KT", "KK", "K1").
    std::vector<const char*> shapes;
    // Returns a description of what is wrong with a completed call's results
    // (empty when all is well).
    std::string (*checkResults)(int nlhs, const std::vector<const mxArray*>& inputs,
                                const std::vector<mxArray*>& results);
};

// Decodes one input, calls the plug-in and checks the call; returns what went
// wrong, empty when nothing did. *completed (when given) tells whether the
// call completed rather than being refused.
std::string runOnce(const Plugin& plugin, standin::MexFunction function, const std::uint8_t* data,
                    std::size_t size, bool* completed = nullptr);

// Checks shared by the result checkers.
bool isRealDoubleMatrix(const mxArray* array, std::size_t rows, std::size_t columns);
std::string describeShape(const mxArray* array);

// The plug-ins' descriptions (NAME_fuzz.cpp).
const Plugin& chainsweepPlugin();
const Plugin& pairtallyPlugin();
const Plugin& bestmatchPlugin();
const Plugin& pathtracePlugin();

} // namespace fuzz
