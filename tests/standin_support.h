#pragma once
// Test support: host arrays owned by the test and plug-in calls through the
// stand-in host whose results are released when the test ends.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "standin.h"

struct ArrayDeleter {
    void operator()(mxArray* array) const { mxDestroyArray(array); }
};
using Array = std::unique_ptr<mxArray, ArrayDeleter>;

// A rows-by-columns array of the given class and kind, filled column-major
// from values (the rest stays zero).
inline Array makeArray(int rows, int columns, const std::vector<double>& values = {},
                       mxClassID classId = mxDOUBLE_CLASS, mxComplexity complexity = mxREAL)
{
    Array array(mxCreateNumericMatrix(rows, columns, classId, complexity));
    if (classId == mxDOUBLE_CLASS && !values.empty()) {
        std::memcpy(mxGetPr(array.get()), values.data(), values.size() * sizeof(double));
    }
    return array;
}

inline Array makeMatrix(int rows, int columns, const std::vector<double>& values = {})
{
    return makeArray(rows, columns, values);
}

inline Array makeSparse(int rows, int columns)
{
    return Array(mxCreateSparse(rows, columns, 1, mxREAL));
}

inline std::vector<double> valuesOf(const mxArray* array)
{
    const double* data = mxGetPr(array);
    return data ? std::vector<double>(data, data + mxGetNumberOfElements(array))
                : std::vector<double>();
}

inline std::vector<mwSize> dimsOf(const mxArray* array)
{
    const mwSize* dims = mxGetDimensions(array);
    return std::vector<mwSize>(dims, dims + mxGetNumberOfDimensions(array));
}

// The stand-in build of a plug-in, or the build of the same name in
// $STANDIN_PLUGIN_DIR with suffix $STANDIN_PLUGIN_SUFFIX when they are set (to
// run the entry tests against the builds of another path).
inline standin::MexFunction loadPlugin(const std::string& name)
{
    const char* dir = std::getenv("STANDIN_PLUGIN_DIR");
    const char* suffix = std::getenv("STANDIN_PLUGIN_SUFFIX");
    const std::string path = std::string(dir ? dir : PLUGIN_STANDIN_DIR) + "/" + name +
                             (suffix ? suffix : ".mexstandin");
    return standin::loadPlugin(path);
}

// One finished call; the results it returned are destroyed with it.
struct Call {
    standin::CallOutcome outcome;
    Call() = default;
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;
    Call(Call&& other) noexcept : outcome(std::move(other.outcome))
    {
        other.outcome.results.clear();
    }
    ~Call()
    {
        for (mxArray* result : outcome.results) mxDestroyArray(result);
    }
    const mxArray* result(std::size_t slot) const { return outcome.results.at(slot); }
};

inline Call callPlugin(standin::MexFunction function, int nlhs,
                       std::initializer_list<const mxArray*> inputs)
{
    Call call;
    call.outcome = standin::call(function, nlhs, std::vector<const mxArray*>(inputs));
    return call;
}

// Entry-layer tests of one plug-in: each test must leave the host with as
// many live allocations as it found.
class PluginEntryTest : public ::testing::Test
{
  protected:
    explicit PluginEntryTest(const std::string& name) : plugin(loadPlugin(name)) {}
    void SetUp() override { liveBefore = standin::liveAllocations(); }
    void TearDown() override { EXPECT_EQ(standin::liveAllocations(), liveBefore); }

    Call run(int nlhs, std::initializer_list<const mxArray*> inputs)
    {
        return callPlugin(plugin, nlhs, inputs);
    }

    standin::MexFunction plugin;
    std::size_t liveBefore = 0;
};

// A refused call: it ended through mexErrMsgTxt with message and left nothing behind.
#define EXPECT_REFUSED(call, message)                                                              \
    do {                                                                                           \
        EXPECT_FALSE((call).outcome.completed);                                                    \
        EXPECT_EQ((call).outcome.error, std::string(message));                                     \
        EXPECT_TRUE((call).outcome.results.empty());                                               \
    } while (0)

// A call that completed and freed all its own working memory.
#define EXPECT_CLEAN_SUCCESS(call)                                                                 \
    do {                                                                                           \
        EXPECT_TRUE((call).outcome.completed) << (call).outcome.error;                             \
        EXPECT_EQ((call).outcome.reclaimedBlocks, 0u);                                             \
        EXPECT_EQ((call).outcome.reclaimedArrays, 0u);                                             \
    } while (0)
