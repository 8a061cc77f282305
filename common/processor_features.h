#pragma once
// What the processor and the operating system offer the vector units, asked
// of the processor itself (cpuid and xgetbv). No compiler runtime is needed:
// __builtin_cpu_supports relies on libgcc or compiler-rt, and clang's runtime
// for macOS is not available outside Apple's SDK.

#include <cstdint>

#include "vector_unit.h"

// The registers the choice rests on, as the processor reports them.
struct ProcessorRegisters {
    std::uint32_t leaf1Ecx = 0;     // cpuid 1, ECX: OSXSAVE (bit 27), AVX (bit 28)
    std::uint32_t leaf1Edx = 0;     // cpuid 1, EDX: SSE2 (bit 26)
    std::uint32_t leaf7Ebx = 0;     // cpuid 7.0, EBX: AVX2 (bit 5), AVX-512F (bit 16)
    std::uint64_t enabledState = 0; // XCR0: the register state the system saves (0 without OSXSAVE)
};

// How the operating system enables the AVX-512 register state (opmask and
// the upper halves and upper 16 of the ZMM registers).
enum class Avx512State {
    // Linux, Windows: XCR0 shows it from the start when the system saves it.
    enabledUpFront,
    // macOS: the kernel enables it for a thread at its first AVX-512
    // instruction (which it traps and runs again), so XCR0 may not show it
    // before then.
    enabledOnFirstUse,
};

// The registers of this processor; all zero where cpuid is not available.
ProcessorRegisters readProcessorRegisters();

// How this build's operating system enables the AVX-512 state.
Avx512State systemAvx512State();

// Whether code built for unit can run with these registers: the processor
// has the instructions and the system saves the registers they use.
bool registersOffer(const ProcessorRegisters& registers, VectorUnit unit, Avx512State avx512);
