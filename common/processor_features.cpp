#include "processor_features.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <cpuid.h>
#define PROCESSOR_FEATURES_X86 1
#endif

namespace
{

constexpr std::uint32_t kSse2 = 1u << 26;    // cpuid 1, EDX
constexpr std::uint32_t kOsXsave = 1u << 27; // cpuid 1, ECX
constexpr std::uint32_t kAvx = 1u << 28;     // cpuid 1, ECX
constexpr std::uint32_t kAvx2 = 1u << 5;     // cpuid 7.0, EBX
constexpr std::uint32_t kAvx512F = 1u << 16; // cpuid 7.0, EBX

constexpr std::uint64_t kXmmYmmState = 0x6;  // XCR0 bits 1 and 2: SSE and AVX registers
constexpr std::uint64_t kAvx512State = 0xE0; // XCR0 bits 5 to 7: opmask, ZMM upper halves, ZMM16-31

bool has(std::uint64_t bits, std::uint64_t wanted) { return (bits & wanted) == wanted; }

bool avx2Offered(const ProcessorRegisters& registers)
{
    return has(registers.leaf1Edx, kSse2) && has(registers.leaf1Ecx, kOsXsave | kAvx) &&
           has(registers.enabledState, kXmmYmmState) && has(registers.leaf7Ebx, kAvx2);
}

} // namespace

ProcessorRegisters readProcessorRegisters()
{
    ProcessorRegisters registers;
#if defined(PROCESSOR_FEATURES_X86)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d)) {
        registers.leaf1Ecx = c;
        registers.leaf1Edx = d;
    }
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) registers.leaf7Ebx = b;
    if (has(registers.leaf1Ecx, kOsXsave)) {
        // xgetbv with ECX = 0 reads XCR0; spelled out so that no -mxsave is needed.
        std::uint32_t low = 0, high = 0;
        __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
        registers.enabledState = (std::uint64_t(high) << 32) | low;
    }
#endif
    return registers;
}

Avx512State systemAvx512State()
{
#if defined(__APPLE__)
    return Avx512State::enabledOnFirstUse;
#else
    return Avx512State::enabledUpFront;
#endif
}

bool registersOffer(const ProcessorRegisters& registers, VectorUnit unit, Avx512State avx512)
{
    switch (unit) {
    case VectorUnit::plain:
        return true;
    case VectorUnit::sse2:
        return has(registers.leaf1Edx, kSse2);
    case VectorUnit::avx2:
        return avx2Offered(registers);
    case VectorUnit::avx512:
        return avx2Offered(registers) && has(registers.leaf7Ebx, kAvx512F) &&
               (avx512 == Avx512State::enabledOnFirstUse ||
                has(registers.enabledState, kAvx512State));
    }
    return false;
}
