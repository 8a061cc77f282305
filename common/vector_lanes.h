#pragma once
// Included first by a source that cmake's add_vector_unit_sources compiles
// once per vector unit. It names the unit's namespace and its register width:
//
//   namespace VECTOR_UNIT_NAMESPACE { void kernel(...); }   // unit_sse2, unit_avx2, unit_avx512
//   DoubleLanes: a GCC vector of kDoubleLanes doubles (2, 4 or 8)
//
// Everything in such a source must stay inside VECTOR_UNIT_NAMESPACE or an
// unnamed namespace: an inline function shared with other sources could be
// merged by the linker with a copy built for a wider unit.

#if defined(VECTOR_UNIT_BUILD_SSE2)
#define VECTOR_UNIT_NAMESPACE unit_sse2
inline constexpr int kDoubleLanes = 2;
#elif defined(VECTOR_UNIT_BUILD_AVX2)
#define VECTOR_UNIT_NAMESPACE unit_avx2
inline constexpr int kDoubleLanes = 4;
#elif defined(VECTOR_UNIT_BUILD_AVX512)
#define VECTOR_UNIT_NAMESPACE unit_avx512
inline constexpr int kDoubleLanes = 8;
#else
#error "compile this source through add_vector_unit_sources"
#endif

namespace VECTOR_UNIT_NAMESPACE
{
typedef double DoubleLanes __attribute__((vector_size(kDoubleLanes * sizeof(double))));
typedef float FloatLanes __attribute__((vector_size(kDoubleLanes * sizeof(float))));
} // namespace VECTOR_UNIT_NAMESPACE
