#pragma once
// Work split over threads, for outputs that do not depend on each other.
//
// A call runs parts 0 .. parts-1 of its work; each part writes outputs that no
// other part reads or writes, and computes them exactly as a single thread
// would, so the results are the same for every thread count. Threads are
// started for one call and joined before it returns: nothing outlives the
// call, and no host function may be called from a part (the hosts' API is not
// thread-safe).

#include <cstddef>

// Threads a call may use: HMM_PLUGINS_THREADS when it holds a positive
// number (1 pins every call to the calling thread), otherwise the number of
// processors. At least 1.
int configuredThreads();

// Threads worth starting for work of about `operations` floating-point
// operations, at most maxThreads: a small call stays on the calling thread,
// since starting a thread costs more than it would save.
int threadsWorthStarting(double operations, int maxThreads);

// The threads a call of at most about `operations` operations may use:
// configuredThreads() when that much work is worth a second thread, else 1
// without its look-ups (the environment and the processor count, which take
// some microseconds: as long as a small call's work).
int threadsForWork(double operations);

// Runs work(context, part) for every part, on at most `threads` threads
// including the calling one; thread r takes the contiguous block of parts
// [r * parts / threads, (r + 1) * parts / threads). Returns when every part is
// done. A thread that cannot be started leaves its block to the calling
// thread.
void runParts(int threads, int parts, void (*work)(void* context, int part), void* context);

// The same with any callable taking the part number.
template <typename Work> void runParts(int threads, int parts, const Work& work)
{
    runParts(
        threads, parts, [](void* context, int part) { (*static_cast<const Work*>(context))(part); },
        const_cast<void*>(static_cast<const void*>(&work)));
}
