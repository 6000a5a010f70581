#pragma once

#include <cstddef>

namespace Kesh::Platform {

inline constexpr std::size_t kRegionSize = 64 * 1024;

// A region of kRegionSize bytes of committed read-write memory, aligned to
// kRegionSize; null when the system has none to give.
void* ReserveRegion();

// Gives back a region that ReserveRegion returned.
void ReleaseRegion(void* region);

// Regions reserved and not yet given back (a release the system refused still counts
// as held), so that a leaked region shows in tests rather than only in address space.
std::size_t LiveRegionCount();

}  // namespace Kesh::Platform
