#include "platform/VirtualMemory.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdint>

namespace Kesh::Platform {

namespace {
constinit std::atomic<std::size_t> liveRegions{0};
}  // namespace

void* ReserveRegion() {
    // mmap only promises page alignment: map twice the size and trim both ends so
    // that exactly one aligned region stays mapped.
    const std::size_t span = 2 * kRegionSize;
    void* mapped = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kRegionSize - 1) & ~(std::uintptr_t{kRegionSize} - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    const std::uintptr_t end = start + span;
    if (end > aligned + kRegionSize) munmap(reinterpret_cast<void*>(aligned + kRegionSize), end - aligned - kRegionSize);
    liveRegions.fetch_add(1, std::memory_order_relaxed);
    return reinterpret_cast<void*>(aligned);
}

void ReleaseRegion(void* region) {
    // munmap accepts any page-aligned address; only a region's own base releases it.
    if (region == nullptr || reinterpret_cast<std::uintptr_t>(region) % kRegionSize != 0) return;
    if (munmap(region, kRegionSize) == 0) liveRegions.fetch_sub(1, std::memory_order_relaxed);
}

std::size_t LiveRegionCount() { return liveRegions.load(std::memory_order_relaxed); }

}  // namespace Kesh::Platform
