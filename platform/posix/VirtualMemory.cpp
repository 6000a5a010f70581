#include "platform/VirtualMemory.h"

#include <sys/mman.h>

#include <cstdint>

namespace Kesh::Platform {

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
    return reinterpret_cast<void*>(aligned);
}

void ReleaseRegion(void* region) {
    if (region != nullptr) munmap(region, kRegionSize);
}

}  // namespace Kesh::Platform
