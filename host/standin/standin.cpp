// The stand-in host: arrays, working memory, messages and the call protocol
// that the plug-ins rely on, with every allocation tracked so that tests can
// see leaks and out-of-bounds result slots.

#include "standin.h"

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>

struct standin_array {
    mxClassID classId = mxDOUBLE_CLASS;
    bool complex = false;
    bool sparse = false;
    std::vector<std::size_t> dims; // as declared, at least two
    std::vector<mwSize> shownDims; // dims as mwSize, saturated
    void* real = nullptr;          // zero-filled storage of every element (sparse: nonzeros)
    void* imag = nullptr;
    std::size_t storageBytes = 0; // of real, and again of imag when complex
    int fields = 0;
};

namespace
{

// What one running call made; the host reclaims it when the call ends.
struct CallContext {
    std::vector<mxArray*> arrays;
    std::vector<void*> blocks;
};

// mexErrMsgTxt unwinds to call() with this.
struct Abandoned {
    std::string message;
};

std::size_t initialLimit()
{
    const char* text = std::getenv("STANDIN_ALLOCATION_LIMIT");
    if (text && *text) return static_cast<std::size_t>(std::strtoull(text, nullptr, 10));
    // 1 TiB, or all a 32-bit size can count.
    const unsigned long long tebibyte = 1ull << 40;
    return tebibyte < std::numeric_limits<std::size_t>::max()
               ? std::size_t(tebibyte)
               : std::numeric_limits<std::size_t>::max();
}

bool initialZeroBytesNull()
{
    const char* text = std::getenv("STANDIN_ZERO_BYTES");
    return text && std::strcmp(text, "null") == 0;
}

std::set<mxArray*> liveArrays;
std::map<void*, std::size_t> liveBlocks; // block -> bytes
CallContext* currentCall = nullptr;
std::string printed;
std::size_t limitBytes = initialLimit();
std::size_t heldBytes = 0;
bool zeroBytesNull = initialZeroBytesNull();

[[noreturn]] void hostFault(const char* what)
{
    std::fprintf(stderr, "stand-in host: %s\n", what);
    std::abort();
}

// The host's own error: inside a call it abandons the call, as mexErrMsgTxt.
[[noreturn]] void hostError(const char* message)
{
    if (currentCall) throw Abandoned{message};
    throw standin::HostError(message);
}

[[noreturn]] void outOfMemory() { hostError(standin::kOutOfMemoryMessage); }

// Zero-filled storage of bytes (at least one), counted against the limit.
void* obtain(std::size_t bytes, bool zeroed)
{
    const std::size_t granted = std::max<std::size_t>(bytes, 1);
    if (granted > limitBytes || heldBytes > limitBytes - granted) outOfMemory();
    void* block = zeroed ? std::calloc(granted, 1) : std::malloc(granted);
    if (!block) outOfMemory();
    heldBytes += granted;
    return block;
}

void release(void* block, std::size_t bytes)
{
    if (!block) return;
    heldBytes -= std::max<std::size_t>(bytes, 1);
    std::free(block);
}

// Element bytes of a class, 0 for those that hold no elements of their own.
std::size_t elementBytes(mxClassID classId)
{
    switch (classId) {
    case mxDOUBLE_CLASS:
    case mxINT64_CLASS:
    case mxUINT64_CLASS:
        return 8;
    case mxSINGLE_CLASS:
    case mxINT32_CLASS:
    case mxUINT32_CLASS:
        return 4;
    case mxINT16_CLASS:
    case mxUINT16_CLASS:
    case mxCHAR_CLASS:
        return 2;
    case mxINT8_CLASS:
    case mxUINT8_CLASS:
    case mxLOGICAL_CLASS:
        return 1;
    case mxCELL_CLASS:
    case mxSTRUCT_CLASS:
        return sizeof(mxArray*);
    default:
        return 0;
    }
}

// a * b, false on overflow.
bool product(std::size_t a, std::size_t b, std::size_t* result)
{
    if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a) return false;
    *result = a * b;
    return true;
}

// Product of dims[first..], 0 as soon as one is 0; false when it overflows.
bool dimsProduct(const std::vector<std::size_t>& dims, std::size_t first, std::size_t* result)
{
    if (std::find(dims.begin() + static_cast<std::ptrdiff_t>(first), dims.end(), 0u) !=
        dims.end()) {
        *result = 0;
        return true;
    }
    std::size_t total = 1;
    for (std::size_t d = first; d < dims.size(); ++d) {
        if (!product(total, dims[d], &total)) return false;
    }
    *result = total;
    return true;
}

// Like the real hosts: at least two dimensions, trailing singleton dimensions
// beyond the second dropped.
std::vector<std::size_t> normalisedDims(std::vector<std::size_t> dims)
{
    while (dims.size() < 2) dims.push_back(1);
    while (dims.size() > 2 && dims.back() == 1) dims.pop_back();
    return dims;
}

// mwSize dimensions, negative ones counting as 0 as in the real hosts.
std::vector<std::size_t> fromMwSize(mwSize ndims, const mwSize* dims)
{
    std::vector<std::size_t> result;
    for (mwSize d = 0; d < ndims; ++d)
        result.push_back(static_cast<std::size_t>(std::max(dims[d], 0)));
    return result;
}

mxArray* track(mxArray* array)
{
    liveArrays.insert(array);
    if (currentCall) currentCall->arrays.push_back(array);
    return array;
}

// A new zero-filled array holding stored elements; the sizes were checked.
mxArray* newArray(std::vector<std::size_t> dims, mxClassID classId, bool complex, bool sparse,
                  std::size_t stored)
{
    std::size_t bytes = 0;
    if (!product(stored, elementBytes(classId), &bytes)) outOfMemory();
    auto* array = new mxArray;
    array->classId = classId;
    array->complex = complex;
    array->sparse = sparse;
    array->dims = std::move(dims);
    for (std::size_t d : array->dims) {
        array->shownDims.push_back(static_cast<mwSize>(std::min<std::size_t>(d, INT_MAX)));
    }
    try {
        array->real = obtain(bytes, true);
        array->storageBytes = bytes;
        if (complex) array->imag = obtain(bytes, true);
    } catch (...) {
        release(array->real, array->storageBytes);
        delete array;
        throw;
    }
    return track(array);
}

mxArray* newDense(std::vector<std::size_t> dims, mxClassID classId, bool complex)
{
    dims = normalisedDims(std::move(dims));
    std::size_t count = 0;
    std::size_t columns = 0;
    if (!dimsProduct(dims, 0, &count) || !dimsProduct(dims, 1, &columns)) outOfMemory();
    return newArray(std::move(dims), classId, complex, false, count);
}

mxArray* newSparse(std::size_t rows, std::size_t columns, std::size_t nonzeros, mxClassID classId,
                   bool complex)
{
    return newArray({rows, columns}, classId, complex, true, std::max<std::size_t>(nonzeros, 1));
}

void* trackBlock(void* block, std::size_t bytes)
{
    liveBlocks[block] = bytes;
    if (currentCall) currentCall->blocks.push_back(block);
    return block;
}

void destroy(mxArray* array)
{
    liveArrays.erase(array);
    release(array->real, array->storageBytes);
    release(array->imag, array->complex ? array->storageBytes : 0);
    delete array;
}

bool hasData(const mxArray* array)
{
    return array->classId != mxCELL_CLASS && array->classId != mxSTRUCT_CLASS &&
           array->storageBytes > 0;
}

} // namespace

extern "C" {

size_t mxGetM(const mxArray* array) { return array->dims[0]; }

size_t mxGetN(const mxArray* array)
{
    std::size_t columns = 0;
    dimsProduct(array->dims, 1, &columns); // checked when the array was made
    return columns;
}

// A sparse array may declare more elements than size_t counts; that many is
// shown as SIZE_MAX.
size_t mxGetNumberOfElements(const mxArray* array)
{
    std::size_t count = 0;
    return dimsProduct(array->dims, 0, &count) ? count : std::numeric_limits<std::size_t>::max();
}

mwSize mxGetNumberOfDimensions_700(const mxArray* array)
{
    return static_cast<mwSize>(array->dims.size());
}

const mwSize* mxGetDimensions_700(const mxArray* array) { return array->shownDims.data(); }

double* mxGetPr(const mxArray* array)
{
    return hasData(array) ? static_cast<double*>(array->real) : nullptr;
}

void* mxGetData(const mxArray* array) { return hasData(array) ? array->real : nullptr; }

mxLogical* mxGetLogicals(const mxArray* array)
{
    return array->classId == mxLOGICAL_CLASS ? static_cast<mxLogical*>(mxGetData(array)) : nullptr;
}

mxArray* mxGetCell(const mxArray*, mwIndex) { return nullptr; }

int mxGetNumberOfFields(const mxArray* array) { return array->fields; }

size_t mxGetElementSize(const mxArray* array) { return elementBytes(array->classId); }

mxArray* mxCreateDoubleMatrix_700(mwSize rows, mwSize columns, mxComplexity complexity)
{
    mwSize dims[2] = {rows, columns};
    return mxCreateNumericArray_700(2, dims, mxDOUBLE_CLASS, complexity);
}

mxArray* mxCreateNumericArray_700(mwSize ndims, const mwSize* dims, mxClassID classId,
                                  mxComplexity complexity)
{
    if (classId < mxLOGICAL_CLASS || classId == mxVOID_CLASS || classId > mxUINT64_CLASS) {
        hostFault("mxCreateNumericArray of a class that is not numeric");
    }
    return newDense(fromMwSize(ndims, dims), classId, complexity == mxCOMPLEX);
}

mxArray* mxCreateNumericMatrix_700(mwSize rows, mwSize columns, mxClassID classId,
                                   mxComplexity complexity)
{
    mwSize dims[2] = {rows, columns};
    return mxCreateNumericArray_700(2, dims, classId, complexity);
}

mxArray* mxCreateSparse_700(mwSize rows, mwSize columns, mwSize nonzeros, mxComplexity complexity)
{
    mwSize dims[3] = {rows, columns, nonzeros};
    std::vector<std::size_t> sizes = fromMwSize(3, dims);
    return newSparse(sizes[0], sizes[1], sizes[2], mxDOUBLE_CLASS, complexity == mxCOMPLEX);
}

mxArray* mxCreateSparseLogicalMatrix_700(mwSize rows, mwSize columns, mwSize nonzeros)
{
    mwSize dims[3] = {rows, columns, nonzeros};
    std::vector<std::size_t> sizes = fromMwSize(3, dims);
    return newSparse(sizes[0], sizes[1], sizes[2], mxLOGICAL_CLASS, false);
}

mxArray* mxCreateLogicalMatrix_700(mwSize rows, mwSize columns)
{
    mwSize dims[2] = {rows, columns};
    return newDense(fromMwSize(2, dims), mxLOGICAL_CLASS, false);
}

mxArray* mxCreateCellMatrix_700(mwSize rows, mwSize columns)
{
    mwSize dims[2] = {rows, columns};
    return newDense(fromMwSize(2, dims), mxCELL_CLASS, false);
}

mxArray* mxCreateStructMatrix_700(mwSize rows, mwSize columns, int fields, const char**)
{
    mwSize dims[2] = {rows, columns};
    mxArray* array = newDense(fromMwSize(2, dims), mxSTRUCT_CLASS, false);
    array->fields = std::max(fields, 0);
    return array;
}

mxArray* mxCreateDoubleScalar(double value)
{
    mxArray* array = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    *static_cast<double*>(array->real) = value;
    return array;
}

void mxDestroyArray(mxArray* array)
{
    if (!array) return;
    if (!liveArrays.count(array)) hostFault("mxDestroyArray on an array that is not alive");
    destroy(array);
}

void* mxMalloc(size_t bytes)
{
    if (bytes == 0 && zeroBytesNull) return nullptr;
    return trackBlock(obtain(bytes, false), bytes);
}

void* mxCalloc(size_t count, size_t elementSize)
{
    std::size_t bytes = 0;
    if (!product(count, elementSize, &bytes)) outOfMemory();
    if (bytes == 0 && zeroBytesNull) return nullptr;
    return trackBlock(obtain(bytes, true), bytes);
}

void mxFree(void* block)
{
    if (!block) return;
    auto found = liveBlocks.find(block);
    if (found == liveBlocks.end()) hostFault("mxFree on a block that mxMalloc did not hand out");
    release(block, found->second);
    liveBlocks.erase(found);
}

bool mxIsComplex(const mxArray* array) { return array->complex; }
bool mxIsDouble(const mxArray* array) { return array->classId == mxDOUBLE_CLASS; }
bool mxIsSparse(const mxArray* array) { return array->sparse; }
bool mxIsSingle(const mxArray* array) { return array->classId == mxSINGLE_CLASS; }
bool mxIsLogical(const mxArray* array) { return array->classId == mxLOGICAL_CLASS; }
bool mxIsChar(const mxArray* array) { return array->classId == mxCHAR_CLASS; }
bool mxIsCell(const mxArray* array) { return array->classId == mxCELL_CLASS; }
bool mxIsStruct(const mxArray* array) { return array->classId == mxSTRUCT_CLASS; }
bool mxIsNumeric(const mxArray* array)
{
    return array->classId >= mxDOUBLE_CLASS && array->classId <= mxUINT64_CLASS;
}
bool mxIsEmpty(const mxArray* array) { return mxGetNumberOfElements(array) == 0; }
mxClassID mxGetClassID(const mxArray* array) { return array->classId; }
bool mxIsFinite(double value) { return std::isfinite(value); }
bool mxIsInf(double value) { return std::isinf(value); }
bool mxIsNaN(double value) { return std::isnan(value); }
double mxGetInf(void) { return std::numeric_limits<double>::infinity(); }

void mexErrMsgTxt(const char* message)
{
    if (!currentCall) hostFault("mexErrMsgTxt outside a call");
    throw Abandoned{message};
}

int mexPrintf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(&text[0], text.size(), format, args);
        text.pop_back();
        printed += text;
    }
    va_end(args);
    return length;
}

} // extern "C"

namespace standin
{

CallOutcome call(MexFunction function, int nlhs, const std::vector<const mxArray*>& inputs)
{
    if (currentCall) hostFault("a call started inside another call");
    CallContext context;
    currentCall = &context;
    // Exactly as many slots as the host provides, so that ASan sees a write
    // past them.
    std::vector<mxArray*> slots(static_cast<std::size_t>(std::max(nlhs, 1)), nullptr);
    std::vector<const mxArray*> args(inputs);
    CallOutcome outcome;
    try {
        function(nlhs, slots.data(), static_cast<int>(args.size()), args.data());
        outcome.completed = true;
    } catch (const Abandoned& abandoned) {
        outcome.error = abandoned.message;
    }
    currentCall = nullptr;

    for (void* block : context.blocks) {
        auto found = liveBlocks.find(block);
        if (found != liveBlocks.end()) {
            release(block, found->second);
            liveBlocks.erase(found);
            ++outcome.reclaimedBlocks;
        }
    }
    for (mxArray* array : context.arrays) {
        if (!liveArrays.count(array)) continue;
        bool inSlot = std::find(slots.begin(), slots.end(), array) != slots.end();
        if (!inSlot) ++outcome.reclaimedArrays;
        // An abandoned call returns nothing: the host also takes back what
        // the call had already stored in its slots.
        if (!inSlot || !outcome.completed) destroy(array);
    }
    if (outcome.completed) outcome.results = slots;
    return outcome;
}

MexFunction loadPlugin(const std::string& path)
{
#if defined(_WIN32)
    // The plug-in's own folder is searched for the libraries it needs, as
    // MATLAB does.
    HMODULE library = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (!library) {
        throw std::runtime_error("cannot load plug-in: " + path + " (error " +
                                 std::to_string(GetLastError()) + ")");
    }
    auto symbol = reinterpret_cast<void*>(GetProcAddress(library, "mexFunction"));
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(std::string("cannot load plug-in: ") + dlerror());
    void* symbol = dlsym(library, "mexFunction");
#endif
    if (!symbol) throw std::runtime_error("plug-in exports no mexFunction: " + path);
    return reinterpret_cast<MexFunction>(symbol);
}

std::size_t liveAllocations() { return liveArrays.size() + liveBlocks.size(); }

std::string takePrinted()
{
    std::string text;
    text.swap(printed);
    return text;
}

mxArray* createArray(const std::vector<std::size_t>& dims, mxClassID classId,
                     mxComplexity complexity, bool sparse, std::size_t nonzeros)
{
    if (elementBytes(classId) == 0 || classId == mxCELL_CLASS || classId == mxSTRUCT_CLASS) {
        return nullptr;
    }
    if (sparse) {
        if (dims.size() != 2) return nullptr;
        return newSparse(dims[0], dims[1], nonzeros, classId, complexity == mxCOMPLEX);
    }
    return newDense(dims, classId, complexity == mxCOMPLEX);
}

std::vector<unsigned char> contents(const mxArray* array)
{
    std::vector<unsigned char> bytes;
    for (const void* part : {array->real, array->imag}) {
        if (!part) continue;
        const auto* first = static_cast<const unsigned char*>(part);
        bytes.insert(bytes.end(), first, first + array->storageBytes);
    }
    return bytes;
}

std::size_t setAllocationLimit(std::size_t bytes)
{
    std::swap(limitBytes, bytes);
    return bytes;
}

std::size_t allocatedBytes() { return heldBytes; }

bool setZeroByteRequestsNull(bool null)
{
    std::swap(zeroBytesNull, null);
    return null;
}

} // namespace standin
