#pragma once

#include <cstddef>
#include <cstdint>

// The library's one allocator. Every allocation of the library, its strings and
// containers included, passes through the hooks below (operator new and delete are
// replaced inside the library, see OperatorNew.cpp), so that the host can read how much
// the plugin holds. The default hooks sit over the process heap and count.
namespace Kesh::Memory {

struct AllocatorHooks {
    void* (*allocate)(void* context, std::size_t size);
    void (*free)(void* context, void* block);
    void* (*reallocate)(void* context, void* block, std::size_t size);
    char* (*duplicateString)(void* context, const char* text);
    std::size_t (*blockSize)(void* context, const void* block);
    void* context;
};

// What the counting hooks have seen since the library was loaded.
struct AllocationCounters {
    std::uint64_t peakLiveBytes;          // highest bytes allocated minus bytes freed
    std::uint64_t liveAllocationsAtPeak;  // allocations minus frees when that peak was reached
    std::uint64_t bytesAllocated;
    std::uint64_t allocationCount;
    std::uint64_t bytesFreed;
    std::uint64_t freeCount;
};

void* Allocate(std::size_t size);
void Free(void* block);
void* Reallocate(void* block, std::size_t size);
char* DuplicateString(const char* text);
std::size_t BlockSize(const void* block);

// Replacing the hooks is meant for start-up, before any block is handed out: a block
// must be freed by the hooks that allocated it.
AllocatorHooks CurrentHooks();
void InstallHooks(const AllocatorHooks& hooks);
AllocatorHooks CountingHooks();

AllocationCounters ReadCounters();

}  // namespace Kesh::Memory
