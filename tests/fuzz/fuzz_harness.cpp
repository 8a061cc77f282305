#include "fuzz_harness.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

namespace fuzz
{

std::uint64_t ByteReader::bytes(int count)
{
    std::uint64_t value = 0;
    for (int b = 0; b < count; ++b) value = (value << 8) | byte();
    return value;
}

namespace
{

// Real data a decoded array may hold: small, so that every run is quick.
constexpr std::size_t kMostElements = 256;
// Memory the host grants one run: huge declared sizes end in its error.
constexpr std::size_t kHostLimit = std::size_t(64) << 20;

// 2^bits, or the largest size where the size type is narrower.
constexpr std::size_t powerOfTwoOrLargest(unsigned bits)
{
    return bits < 8 * sizeof(std::size_t) ? std::size_t(1) << bits : SIZE_MAX;
}

// Declared sizes that cost nothing when another dimension is 0, or in a
// sparse array; with mwSize they reach 2^31 - 1, with 64-bit sizes beyond.
constexpr std::size_t kHugeSizes[] = {2147483647u,
                                      2147483646u,
                                      46341u, // its square passes 2^31
                                      65536u,
                                      powerOfTwoOrLargest(31),
                                      powerOfTwoOrLargest(32),
                                      powerOfTwoOrLargest(62),
                                      powerOfTwoOrLargest(63)};

double edgeValue(ByteReader& in)
{
    const std::uint8_t choice = in.byte();
    switch (choice % 32) {
    case 0:
        return 0.0;
    case 1:
        return -0.0;
    case 2:
        return std::numeric_limits<double>::quiet_NaN();
    case 3:
        return std::numeric_limits<double>::infinity();
    case 4:
        return -std::numeric_limits<double>::infinity();
    case 5:
        return std::numeric_limits<double>::denorm_min();
    case 6:
        return -std::numeric_limits<double>::denorm_min();
    case 7:
        return DBL_MIN;
    case 8:
        return DBL_MAX;
    case 9:
        return -1.0;
    case 10:
        return 1.0;
    case 11:
        return 0.5;
    case 12:
        return 2.0;
    case 13:
        return 2.0 * FLT_MAX; // beyond single precision
    case 14:
        return 1e-46; // below single precision's least subnormal
    case 15:
        return FLT_MIN;
    case 16:
        return 1e300;
    case 17:
        return 0.1;
    case 18:
        return -0.5;
    case 19: {
        const std::uint64_t bits = in.bytes(8);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    case 20:
    case 21:
    case 22:
    case 23:
        return static_cast<double>(in.byte() % 4); // ties
    default:
        return (in.byte() + 1) / 256.0;
    }
}

struct Shapes {
    std::size_t K; // sizes that inputs share more often than chance
    std::size_t T;
};

// A size the inputs share: mostly small, now and then huge.
std::size_t sharedSize(ByteReader& in, int smallSizes)
{
    const std::uint8_t choice = in.byte();
    if (choice >= 240) return kHugeSizes[choice % (sizeof kHugeSizes / sizeof kHugeSizes[0])];
    return choice % smallSizes;
}

std::size_t decodeDimension(ByteReader& in, const Shapes& shapes)
{
    const std::uint8_t choice = in.byte();
    switch (choice % 16) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
        return shapes.K;
    case 6:
    case 7:
    case 8:
    case 9:
        return shapes.T;
    case 10:
        return 0;
    case 11:
        return 1;
    case 12:
        return in.byte() % 20;
    case 13:
        return kHugeSizes[in.byte() % (sizeof kHugeSizes / sizeof kHugeSizes[0])];
    case 14:
        return shapes.K * shapes.K;
    default:
        return shapes.K + 1;
    }
}

// Elements of dims, or SIZE_MAX when they overflow.
std::size_t countOf(const std::vector<std::size_t>& dims)
{
    std::size_t count = 1;
    for (std::size_t d : dims) {
        if (d == 0) return 0;
    }
    for (std::size_t d : dims) {
        if (count > std::numeric_limits<std::size_t>::max() / d) {
            return std::numeric_limits<std::size_t>::max();
        }
        count *= d;
    }
    return count;
}

void fillValues(ByteReader& in, mxArray* array, std::size_t count)
{
    if (mxIsDouble(array) && !mxIsSparse(array)) {
        double* data = mxGetPr(array);
        for (std::size_t e = 0; e < count && data; ++e) data[e] = edgeValue(in);
        return;
    }
    // Other classes (and the imaginary part) get the bytes as they come.
    std::vector<unsigned char> bytes = standin::contents(array);
    auto* data = static_cast<unsigned char*>(mxGetData(array));
    for (std::size_t b = 0; b < bytes.size() && data; ++b) data[b] = in.byte();
}

// The dimensions of a usual shape, or freely decoded ones (third when given).
std::vector<std::size_t> decodeDims(ByteReader& in, const Shapes& shapes, const char* usual,
                                    bool third)
{
    std::vector<std::size_t> dims;
    if (usual && in.byte() < 160) {
        for (const char* letter = usual; *letter; ++letter) {
            dims.push_back(*letter == 'K' ? shapes.K : *letter == 'T' ? shapes.T : 1);
        }
        if (third) dims.push_back(1);
        return dims;
    }
    dims = {decodeDimension(in, shapes), decodeDimension(in, shapes)};
    if (third) dims.push_back(decodeDimension(in, shapes));
    return dims;
}

mxArray* decodeArray(ByteReader& in, const Shapes& shapes, const char* usual)
{
    const std::uint8_t kind = in.byte() % 16;
    if (kind == 14) {
        const std::size_t rows = std::min<std::size_t>(decodeDimension(in, shapes), 2147483647u);
        const std::size_t columns = std::min<std::size_t>(decodeDimension(in, shapes), 2147483647u);
        const bool small = countOf({rows, columns}) <= kMostElements;
        const auto r = static_cast<mwSize>(small ? rows : 0);
        const auto c = static_cast<mwSize>(columns);
        if (in.byte() % 2) return mxCreateCellMatrix(r, c);
        const char* names[1] = {"value"};
        return mxCreateStructMatrix(r, c, 1, names);
    }
    if (kind == 13) {
        const std::vector<std::size_t> dims = decodeDims(in, shapes, usual, false);
        const std::size_t rows = dims[0];
        const std::size_t columns = dims[1];
        const bool logical = in.byte() % 2;
        mxArray* array =
            standin::createArray({rows, columns}, logical ? mxLOGICAL_CLASS : mxDOUBLE_CLASS,
                                 mxREAL, true, in.byte() % 4);
        fillValues(in, array, 0);
        return array;
    }
    mxClassID classId = mxDOUBLE_CLASS;
    mxComplexity complexity = mxREAL;
    if (kind == 10) complexity = mxCOMPLEX;
    if (kind == 11) classId = mxSINGLE_CLASS;
    if (kind == 12) {
        constexpr mxClassID kOthers[] = {mxLOGICAL_CLASS, mxCHAR_CLASS,  mxINT8_CLASS,
                                         mxUINT8_CLASS,   mxINT32_CLASS, mxUINT64_CLASS};
        classId = kOthers[in.byte() % 6];
    }
    std::vector<std::size_t> dims = decodeDims(in, shapes, usual, kind == 15);
    if (countOf(dims) > kMostElements) dims[in.byte() % dims.size()] = 0;
    mxArray* array = standin::createArray(dims, classId, complexity);
    fillValues(in, array, countOf(dims));
    return array;
}

struct OwnedInputs {
    std::vector<mxArray*> arrays;
    ~OwnedInputs()
    {
        for (mxArray* array : arrays) mxDestroyArray(array);
    }
};

std::string describeCall(int nlhs, const std::vector<const mxArray*>& inputs)
{
    std::ostringstream text;
    text << "nlhs " << nlhs << ", inputs (";
    for (std::size_t i = 0; i < inputs.size(); ++i)
        text << (i ? ", " : "") << describeShape(inputs[i]);
    text << ")";
    return text.str();
}

} // namespace

bool isRealDoubleMatrix(const mxArray* array, std::size_t rows, std::size_t columns)
{
    return array && mxIsDouble(array) && !mxIsComplex(array) && !mxIsSparse(array) &&
           mxGetNumberOfDimensions(array) == 2 && mxGetM(array) == rows && mxGetN(array) == columns;
}

std::string describeShape(const mxArray* array)
{
    if (!array) return "none";
    std::ostringstream text;
    text << "class " << mxGetClassID(array) << (mxIsSparse(array) ? " sparse" : "")
         << (mxIsComplex(array) ? " complex" : "") << " " << mxGetM(array);
    const mwSize* dims = mxGetDimensions(array);
    for (mwSize d = 1; d < mxGetNumberOfDimensions(array); ++d) text << "x" << dims[d];
    if (mxGetNumberOfDimensions(array) == 2) text << " (N " << mxGetN(array) << ")";
    return text.str();
}

std::string runOnce(const Plugin& plugin, standin::MexFunction function, const std::uint8_t* data,
                    std::size_t size, bool* completed)
{
    static const bool configured = [] {
        standin::setAllocationLimit(kHostLimit);
        standin::setZeroByteRequestsNull(true);
        return true;
    }();
    (void)configured;
    const std::size_t liveAtStart = standin::liveAllocations();
    const std::size_t bytesAtStart = standin::allocatedBytes();
    std::string problem;
    {
        ByteReader in(data, size);
        const std::uint8_t inputChoice = in.byte();
        const int nrhs = inputChoice < 224 ? plugin.inputs : inputChoice % 7;
        const std::uint8_t resultChoice = in.byte();
        const int nlhs =
            resultChoice < 224 ? plugin.nlhs[resultChoice % plugin.nlhs.size()] : resultChoice % 7;
        Shapes shapes{sharedSize(in, 9), sharedSize(in, 12)};
        OwnedInputs owned;
        for (int i = 0; i < nrhs; ++i) {
            try {
                const char* usual = static_cast<std::size_t>(i) < plugin.shapes.size()
                                        ? plugin.shapes[static_cast<std::size_t>(i)]
                                        : nullptr;
                owned.arrays.push_back(decodeArray(in, shapes, usual));
            } catch (const standin::HostError&) {
                owned.arrays.push_back(mxCreateDoubleMatrix(0, 0, mxREAL));
            }
        }
        const std::vector<const mxArray*> inputs(owned.arrays.begin(), owned.arrays.end());
        std::vector<std::vector<unsigned char>> before;
        for (const mxArray* input : inputs) before.push_back(standin::contents(input));
        const std::size_t liveBefore = standin::liveAllocations();

        standin::CallOutcome outcome = standin::call(function, nlhs, inputs);
        const std::string context = std::string(plugin.name) + ": " + describeCall(nlhs, inputs);
        if (completed) *completed = outcome.completed;

        if (outcome.completed) {
            if (outcome.reclaimedBlocks || outcome.reclaimedArrays) {
                problem = "a completed call left working memory or arrays to the host";
            } else if (outcome.results.size() != static_cast<std::size_t>(std::max(nlhs, 1))) {
                problem = "wrong number of result slots";
            } else {
                problem = plugin.checkResults(nlhs, inputs, outcome.results);
            }
        } else if (outcome.error.empty()) {
            problem = "refused with an empty message";
        }
        for (std::size_t i = 0; i < inputs.size() && problem.empty(); ++i) {
            if (standin::contents(inputs[i]) != before[i]) problem = "input changed by the call";
        }
        for (mxArray* result : outcome.results) mxDestroyArray(result);
        if (problem.empty() && standin::liveAllocations() != liveBefore) {
            problem = "allocations still alive after the results were destroyed";
        }
        if (!problem.empty()) {
            problem += "\n  " + context;
            if (!outcome.completed) problem += "\n  refused: " + outcome.error;
        }
    }
    if (problem.empty() &&
        (standin::liveAllocations() != liveAtStart || standin::allocatedBytes() != bytesAtStart)) {
        problem = std::string(plugin.name) + ": host memory not back to where it was";
    }
    return problem;
}

} // namespace fuzz
