#include "runtime/HostRegistration.h"

#include "platform/Allocator.h"

namespace Kesh {

void ReadMemoryStats(MemoryStats& stats) {
    const Memory::AllocationCounters counters = Memory::ReadCounters();
    stats.peakLiveBytes = counters.peakLiveBytes;
    stats.liveAllocationsAtPeak = counters.liveAllocationsAtPeak;
    stats.bytesAllocated = counters.bytesAllocated;
    stats.allocationCount = counters.allocationCount;
    stats.bytesFreed = counters.bytesFreed;
    stats.freeCount = counters.freeCount;
    stats.reserved = 0;
}

}  // namespace Kesh
