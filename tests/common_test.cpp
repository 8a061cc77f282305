// Shared ground: thread splitting and vector-unit choice.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <vector>

#include "environment.h"
#include "parallel.h"
#include "processor_features.h"
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

TEST(Parallel, WorkTooSmallForTwoThreadsIgnoresTheSetting)
{
    // The setting is only looked up for work that a second thread could share:
    // wherever threadsForWork answers 1, every thread count would start none.
    setenv("HMM_PLUGINS_THREADS", "7", 1);
    for (double operations : {0.0, 1e3, 1e6, 2e6, 3.99e6}) {
        EXPECT_EQ(threadsForWork(operations), 1) << operations;
        EXPECT_EQ(threadsWorthStarting(operations, 256), 1) << operations;
    }
    EXPECT_EQ(threadsForWork(4e6), 7);
    EXPECT_EQ(threadsForWork(1e12), 7);
    setenv("HMM_PLUGINS_THREADS", "1", 1);
    EXPECT_EQ(threadsForWork(1e12), 1);
    unsetenv("HMM_PLUGINS_THREADS");
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

namespace
{

// Registers of a processor with every unit up to AVX-512F, whose system
// saves every register it uses.
ProcessorRegisters everyUnit()
{
    ProcessorRegisters registers;
    registers.leaf1Edx = 1u << 26;
    registers.leaf1Ecx = (1u << 27) | (1u << 28);
    registers.leaf7Ebx = (1u << 5) | (1u << 16);
    registers.enabledState = 0xE7;
    return registers;
}

// The widest unit the registers offer.
VectorUnit widestOffered(const ProcessorRegisters& registers, Avx512State avx512)
{
    for (VectorUnit unit : {VectorUnit::avx512, VectorUnit::avx2, VectorUnit::sse2}) {
        if (registersOffer(registers, unit, avx512)) return unit;
    }
    return VectorUnit::plain;
}

} // namespace

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(__APPLE__)
TEST(ProcessorFeatures, AgreeWithTheCompilerRuntime)
{
    // libgcc (or compiler-rt) asks cpuid and xgetbv as well: both must come
    // to the same answer on this machine.
    const ProcessorRegisters registers = readProcessorRegisters();
    const Avx512State avx512 = systemAvx512State();
    EXPECT_EQ(registersOffer(registers, VectorUnit::sse2, avx512),
              bool(__builtin_cpu_supports("sse2")));
    EXPECT_EQ(registersOffer(registers, VectorUnit::avx2, avx512),
              bool(__builtin_cpu_supports("avx2")));
    EXPECT_EQ(registersOffer(registers, VectorUnit::avx512, avx512),
              bool(__builtin_cpu_supports("avx512f")));
    EXPECT_EQ(avx512, Avx512State::enabledUpFront);
}
#endif

TEST(ProcessorFeatures, EachUnitNeedsItsInstructionsAndSavedRegisters)
{
    const Avx512State upFront = Avx512State::enabledUpFront;
    EXPECT_EQ(widestOffered(everyUnit(), upFront), VectorUnit::avx512);
    EXPECT_EQ(widestOffered(ProcessorRegisters{}, upFront), VectorUnit::plain);

    ProcessorRegisters noAvx512 = everyUnit();
    noAvx512.leaf7Ebx &= ~(1u << 16);
    EXPECT_EQ(widestOffered(noAvx512, upFront), VectorUnit::avx2);

    // The processor has AVX2, but the system does not save the YMM
    // registers, or does not say (no OSXSAVE): SSE2 only.
    ProcessorRegisters noYmmState = everyUnit();
    noYmmState.enabledState = 0x3;
    EXPECT_EQ(widestOffered(noYmmState, upFront), VectorUnit::sse2);
    EXPECT_EQ(widestOffered(noYmmState, Avx512State::enabledOnFirstUse), VectorUnit::sse2);
    ProcessorRegisters noOsXsave = everyUnit();
    noOsXsave.leaf1Ecx &= ~(1u << 27);
    EXPECT_EQ(widestOffered(noOsXsave, upFront), VectorUnit::sse2);

    ProcessorRegisters noSse2 = everyUnit();
    noSse2.leaf1Edx = 0;
    EXPECT_EQ(widestOffered(noSse2, upFront), VectorUnit::plain);
}

TEST(ProcessorFeatures, Avx512StateEnabledOnFirstUseIsTrusted)
{
    // Before a thread's first AVX-512 instruction macOS shows only the SSE
    // and AVX state in XCR0; elsewhere that means the system does not save
    // the AVX-512 registers.
    ProcessorRegisters lazy = everyUnit();
    lazy.enabledState = 0x7;
    EXPECT_EQ(widestOffered(lazy, Avx512State::enabledUpFront), VectorUnit::avx2);
    EXPECT_EQ(widestOffered(lazy, Avx512State::enabledOnFirstUse), VectorUnit::avx512);
}
