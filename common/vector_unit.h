#pragma once
// The vector units a kernel is built for, chosen at run time.
//
// A kernel that has fast paths is compiled once per unit (see
// cmake/VectorUnits.cmake) and picks the widest one the processor offers.
// Every path computes the same bits: kernels vectorise only across
// independent outputs, keep each output's operations in their order and never
// fuse a multiply with an add, so the choice changes the speed alone.

enum class VectorUnit {
    plain,  // portable scalar loops, the reference every other path must match
    sse2,   // 2 doubles a register (the x86-64 baseline)
    avx2,   // 4 doubles
    avx512, // 8 doubles (AVX-512F)
};

// The widest unit that both this build and this processor offer. The
// environment variable HMM_PLUGINS_VECTOR_UNIT (plain, sse2, avx2, avx512)
// lowers it, e.g. to run under a tool that does not know the wider units.
VectorUnit widestVectorUnit();

// Whether kernels built here can run on this processor with unit.
bool vectorUnitAvailable(VectorUnit unit);

// At most `cap`: cap when widest (an available unit) is wider and cap is
// available, else widest. For calls whose size a narrower unit fits better.
VectorUnit unitAtMost(VectorUnit widest, VectorUnit cap);

// "plain", "sse2", "avx2" or "avx512".
const char* vectorUnitName(VectorUnit unit);
