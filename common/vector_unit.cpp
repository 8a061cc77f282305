#include "vector_unit.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "processor_features.h"

namespace
{

bool builtFor(VectorUnit unit)
{
    switch (unit) {
    case VectorUnit::plain:
        return true;
    case VectorUnit::sse2:
#if defined(PLUGINS_HAVE_SSE2)
        return true;
#else
        return false;
#endif
    case VectorUnit::avx2:
#if defined(PLUGINS_HAVE_AVX2)
        return true;
#else
        return false;
#endif
    case VectorUnit::avx512:
#if defined(PLUGINS_HAVE_AVX512)
        return true;
#else
        return false;
#endif
    }
    return false;
}

// Read once, when the plug-in is loaded: cpuid is slow under some virtual
// machines, and the choice is made at every call.
const ProcessorRegisters kProcessor = readProcessorRegisters();

bool processorOffers(VectorUnit unit)
{
    return registersOffer(kProcessor, unit, systemAvx512State());
}

// The unit named by HMM_PLUGINS_VECTOR_UNIT, or the widest when it names none.
VectorUnit requestedLimit()
{
    const char* name = std::getenv("HMM_PLUGINS_VECTOR_UNIT");
    if (name) {
        for (VectorUnit unit : {VectorUnit::plain, VectorUnit::sse2, VectorUnit::avx2}) {
            if (std::strcmp(name, vectorUnitName(unit)) == 0) return unit;
        }
    }
    return VectorUnit::avx512;
}

} // namespace

bool vectorUnitAvailable(VectorUnit unit) { return builtFor(unit) && processorOffers(unit); }

VectorUnit unitAtMost(VectorUnit widest, VectorUnit cap)
{
    return widest > cap && vectorUnitAvailable(cap) ? cap : widest;
}

VectorUnit widestVectorUnit()
{
    const VectorUnit limit = requestedLimit();
    for (VectorUnit unit : {VectorUnit::avx512, VectorUnit::avx2, VectorUnit::sse2}) {
        if (unit <= limit && vectorUnitAvailable(unit)) return unit;
    }
    return VectorUnit::plain;
}

const char* vectorUnitName(VectorUnit unit)
{
    switch (unit) {
    case VectorUnit::plain:
        return "plain";
    case VectorUnit::sse2:
        return "sse2";
    case VectorUnit::avx2:
        return "avx2";
    case VectorUnit::avx512:
        return "avx512";
    }
    return "plain";
}
