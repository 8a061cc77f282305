// Shared ground: thread splitting and vector-unit choice.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "environment.h"
#include "parallel.h"
#include "vector_unit.h"

TEST(Parallel, EveryPartRunsExactlyOnceForAnyThreadCount)
{
    for (int threads = 1; threads <= 5; ++threads) {
        for (int parts = 0; parts <= 11; ++parts) {
            std::vector<std::atomic<int>> runs(parts);
            runParts(threads, parts, [&](int part) { runs[part]++; });
            for (int part = 0; part < parts; ++part)
                EXPECT_EQ(runs[part].load(), 1) << threads << " threads, part " << part;
        }
    }
}

TEST(Parallel, SmallWorkStaysOnTheCallingThread)
{
    EXPECT_EQ(threadsWorthStarting(1e3, 8), 1);
    EXPECT_EQ(threadsWorthStarting(1e12, 1), 1);
    EXPECT_EQ(threadsWorthStarting(1e12, 3), 3);
    EXPECT_EQ(threadsWorthStarting(0.0 / 0.0, 4), 1);
}

TEST(Parallel, ThreadSettingPinsOrFallsBackToProcessors)
{
    setenv("HMM_PLUGINS_THREADS", "1", 1);
    EXPECT_EQ(configuredThreads(), 1);
    setenv("HMM_PLUGINS_THREADS", "3", 1);
    EXPECT_EQ(configuredThreads(), 3);
    setenv("HMM_PLUGINS_THREADS", "none", 1);
    EXPECT_GE(configuredThreads(), 1);
    unsetenv("HMM_PLUGINS_THREADS");
    EXPECT_GE(configuredThreads(), 1);
}

TEST(VectorUnits, WidestIsAvailableAndCanBeLowered)
{
    EXPECT_TRUE(vectorUnitAvailable(VectorUnit::plain));
    EXPECT_TRUE(vectorUnitAvailable(widestVectorUnit()));
    setenv("HMM_PLUGINS_VECTOR_UNIT", "plain", 1);
    EXPECT_EQ(widestVectorUnit(), VectorUnit::plain);
    setenv("HMM_PLUGINS_VECTOR_UNIT", "sse2", 1);
    EXPECT_LE(widestVectorUnit(), VectorUnit::sse2);
    unsetenv("HMM_PLUGINS_VECTOR_UNIT");
    EXPECT_STREQ(vectorUnitName(VectorUnit::avx512), "avx512");
}
