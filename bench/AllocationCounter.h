#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "platform/Allocator.h"

namespace Kesh::Bench {

// Counts the library's allocations (and frees) from its construction to Report and
// shows them per iteration. Construct it right before the timed loop: everything the
// loop does goes through the counting allocator, the benchmark framework's own work
// does not.
class AllocationCounter {
public:
    AllocationCounter() : start_(Memory::ReadCounters()) {}

    // "allocs" per iteration; with frees, also "frees" per iteration (for benchmarks
    // whose paused set-up allocates what the timed part frees).
    void Report(benchmark::State& state, bool frees = false) const {
        const Memory::AllocationCounters now = Memory::ReadCounters();
        state.counters["allocs"] = PerIteration(now.allocationCount - start_.allocationCount);
        if (frees) {
            state.counters["frees"] = PerIteration(now.freeCount - start_.freeCount);
        }
    }

private:
    static benchmark::Counter PerIteration(std::uint64_t count) {
        return benchmark::Counter(static_cast<double>(count), benchmark::Counter::kAvgIterations);
    }

    Memory::AllocationCounters start_;
};

}  // namespace Kesh::Bench
