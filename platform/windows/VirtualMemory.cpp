#include "platform/VirtualMemory.h"

#include <windows.h>

#include <atomic>

namespace Kesh::Platform {

namespace {
constinit std::atomic<std::size_t> liveRegions{0};
}  // namespace

// The system's allocation granularity is 64 KiB, so every reservation is aligned.
void* ReserveRegion() {
    void* region = VirtualAlloc(nullptr, kRegionSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (region != nullptr) liveRegions.fetch_add(1, std::memory_order_relaxed);
    return region;
}

void ReleaseRegion(void* region) {
    if (region != nullptr && VirtualFree(region, 0, MEM_RELEASE)) {
        liveRegions.fetch_sub(1, std::memory_order_relaxed);
    }
}

std::size_t LiveRegionCount() { return liveRegions.load(std::memory_order_relaxed); }

}  // namespace Kesh::Platform
