// The stand-in host: arrays, working memory, messages and the call protocol
// that the plug-ins rely on, with every allocation tracked so that tests can
// see leaks and out-of-bounds result slots.

#include "standin.h"

#if defined(_WIN32)
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <set>
#include <stdexcept>

struct standin_array {
    mxClassID classId = mxDOUBLE_CLASS;
    bool complex = false;
    bool sparse = false;
    std::vector<mwSize> dims;
    std::vector<double> real; // storage for every class, rounded up to whole doubles
    std::vector<double> imag;
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

std::set<mxArray*> liveArrays;
std::set<void*> liveBlocks;
CallContext* currentCall = nullptr;
std::string printed;

[[noreturn]] void hostFault(const char* what)
{
    std::fprintf(stderr, "stand-in host: %s\n", what);
    std::abort();
}

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
    default:
        hostFault("array class not offered");
    }
}

// Like the real hosts: negative sizes count as 0 and trailing singleton
// dimensions beyond the second are dropped.
std::vector<mwSize> normalisedDims(mwSize ndims, const mwSize* dims)
{
    std::vector<mwSize> result;
    for (mwSize d = 0; d < ndims; ++d) result.push_back(std::max(dims[d], 0));
    while (result.size() < 2) result.push_back(1);
    while (result.size() > 2 && result.back() == 1) result.pop_back();
    return result;
}

std::size_t elementCount(const std::vector<mwSize>& dims)
{
    std::size_t count = 1;
    for (mwSize d : dims) count *= static_cast<std::size_t>(d);
    return count;
}

mxArray* track(mxArray* array)
{
    liveArrays.insert(array);
    if (currentCall) currentCall->arrays.push_back(array);
    return array;
}

mxArray* newArray(std::vector<mwSize> dims, mxClassID classId, mxComplexity complexity, bool sparse,
                  std::size_t storedElements)
{
    auto* array = new mxArray;
    array->classId = classId;
    array->complex = complexity == mxCOMPLEX;
    array->sparse = sparse;
    array->dims = std::move(dims);
    std::size_t doubles = (storedElements * elementBytes(classId) + 7) / 8;
    array->real.assign(doubles, 0.0);
    if (array->complex) array->imag.assign(doubles, 0.0);
    return track(array);
}

void* trackBlock(void* block)
{
    if (!block) return nullptr;
    liveBlocks.insert(block);
    if (currentCall) currentCall->blocks.push_back(block);
    return block;
}

void destroy(mxArray* array)
{
    liveArrays.erase(array);
    delete array;
}

} // namespace

extern "C" {

size_t mxGetM(const mxArray* array) { return static_cast<size_t>(array->dims[0]); }

size_t mxGetN(const mxArray* array)
{
    std::vector<mwSize> rest(array->dims.begin() + 1, array->dims.end());
    return elementCount(rest);
}

size_t mxGetNumberOfElements(const mxArray* array) { return elementCount(array->dims); }

mwSize mxGetNumberOfDimensions_700(const mxArray* array)
{
    return static_cast<mwSize>(array->dims.size());
}

const mwSize* mxGetDimensions_700(const mxArray* array) { return array->dims.data(); }

double* mxGetPr(const mxArray* array)
{
    auto* data = const_cast<std::vector<double>&>(array->real).data();
    return array->real.empty() ? nullptr : data;
}

mxArray* mxCreateDoubleMatrix_700(mwSize rows, mwSize columns, mxComplexity complexity)
{
    mwSize dims[2] = {rows, columns};
    return mxCreateNumericArray_700(2, dims, mxDOUBLE_CLASS, complexity);
}

mxArray* mxCreateNumericArray_700(mwSize ndims, const mwSize* dims, mxClassID classId,
                                  mxComplexity complexity)
{
    std::vector<mwSize> shape = normalisedDims(ndims, dims);
    std::size_t count = elementCount(shape);
    return newArray(std::move(shape), classId, complexity, false, count);
}

mxArray* mxCreateNumericMatrix_700(mwSize rows, mwSize columns, mxClassID classId,
                                   mxComplexity complexity)
{
    mwSize dims[2] = {rows, columns};
    return mxCreateNumericArray_700(2, dims, classId, complexity);
}

mxArray* mxCreateSparse_700(mwSize rows, mwSize columns, mwSize nonzeros, mxComplexity complexity)
{
    mwSize dims[2] = {rows, columns};
    return newArray(normalisedDims(2, dims), mxDOUBLE_CLASS, complexity, true,
                    static_cast<std::size_t>(std::max(nonzeros, 1)));
}

mxArray* mxCreateDoubleScalar(double value)
{
    mxArray* array = mxCreateDoubleMatrix_700(1, 1, mxREAL);
    array->real[0] = value;
    return array;
}

void mxDestroyArray(mxArray* array)
{
    if (!array) return;
    if (!liveArrays.count(array)) hostFault("mxDestroyArray on an array that is not alive");
    destroy(array);
}

void* mxMalloc(size_t bytes) { return trackBlock(std::malloc(bytes > 0 ? bytes : 1)); }

void* mxCalloc(size_t count, size_t elementSize)
{
    if (count == 0 || elementSize == 0) return trackBlock(std::calloc(1, 1));
    return trackBlock(std::calloc(count, elementSize));
}

void mxFree(void* block)
{
    if (!block) return;
    if (!liveBlocks.erase(block)) hostFault("mxFree on a block that mxMalloc did not hand out");
    std::free(block);
}

bool mxIsComplex(const mxArray* array) { return array->complex; }
bool mxIsDouble(const mxArray* array) { return array->classId == mxDOUBLE_CLASS; }
bool mxIsSparse(const mxArray* array) { return array->sparse; }
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
        if (liveBlocks.erase(block)) {
            std::free(block);
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

} // namespace standin
