#include "parallel.h"

#include <cstdlib>
#include <exception>
#include <functional>
#include <thread>
#include <vector>

namespace
{

// Below this many operations per thread, starting one is not worth it (a
// thread start and join costs some tens of microseconds).
constexpr double kOperationsPerThread = 2e6;

struct Block {
    void (*work)(void*, int);
    void* context;
    int first;
    int end;
};

void runBlock(const Block& block)
{
    for (int part = block.first; part < block.end; ++part) block.work(block.context, part);
}

} // namespace

int configuredThreads()
{
    if (const char* setting = std::getenv("HMM_PLUGINS_THREADS")) {
        char* end = nullptr;
        const long value = std::strtol(setting, &end, 10);
        if (end != setting && *end == '\0' && value > 0) return value > 256 ? 256 : int(value);
    }
    const unsigned processors = std::thread::hardware_concurrency();
    return processors > 0 ? int(processors > 256 ? 256 : processors) : 1;
}

int threadsWorthStarting(double operations, int maxThreads)
{
    if (maxThreads <= 1 || !(operations > kOperationsPerThread)) return 1;
    const double worth = operations / kOperationsPerThread;
    return worth < maxThreads ? int(worth) : maxThreads;
}

int threadsForWork(double operations)
{
    // threadsWorthStarting gives 1 for every thread count once it gives 1
    // for two.
    if (threadsWorthStarting(operations, 2) < 2) return 1;
    return configuredThreads();
}

void runParts(int threads, int parts, void (*work)(void* context, int part), void* context)
{
    if (parts <= 0) return;
    if (threads > parts) threads = parts;
    if (threads <= 1) {
        runBlock({work, context, 0, parts});
        return;
    }
    std::vector<Block> blocks;
    for (int r = 0; r < threads; ++r) {
        const long long first = static_cast<long long>(r) * parts / threads;
        const long long end = static_cast<long long>(r + 1) * parts / threads;
        blocks.push_back({work, context, int(first), int(end)});
    }
    std::vector<std::thread> started;
    std::vector<const Block*> leftOver;
    try {
        started.reserve(blocks.size() - 1);
    } catch (const std::exception&) {
        runBlock({work, context, 0, parts});
        return;
    }
    for (std::size_t r = 1; r < blocks.size(); ++r) {
        try {
            started.emplace_back(runBlock, std::cref(blocks[r]));
        } catch (const std::exception&) {
            leftOver.push_back(&blocks[r]);
        }
    }
    runBlock(blocks[0]);
    for (const Block* block : leftOver) runBlock(*block);
    for (std::thread& thread : started) thread.join();
}
