#pragma once

#include <cstddef>

namespace Kesh::Platform {

inline constexpr std::size_t kRegionSize = 64 * 1024;

// A region of kRegionSize bytes of committed read-write memory, aligned to
// kRegionSize; null when the system has none to give.
void* ReserveRegion();

// Gives back a region that ReserveRegion returned.
void ReleaseRegion(void* region);

}  // namespace Kesh::Platform
