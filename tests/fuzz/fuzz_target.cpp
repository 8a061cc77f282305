// libFuzzer entry of one plug-in, linked with its entry layer: FUZZ_PLUGIN
// names the plug-in's description (chainsweepPlugin, ...).

#include <cstdio>
#include <cstdlib>

#include "fuzz_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string problem = fuzz::runOnce(fuzz::FUZZ_PLUGIN(), &mexFunction, data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "fuzz finding: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
