#include "platform/VirtualMemory.h"

#include <windows.h>

namespace Kesh::Platform {

// The system's allocation granularity is 64 KiB, so every reservation is aligned.
void* ReserveRegion() { return VirtualAlloc(nullptr, kRegionSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE); }

void ReleaseRegion(void* region) {
    if (region != nullptr) VirtualFree(region, 0, MEM_RELEASE);
}

}  // namespace Kesh::Platform
