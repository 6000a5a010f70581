#include "platform/Allocator.h"

#include <atomic>
#include <cstring>

#include "platform/Heap.h"

namespace Kesh::Memory {

namespace {

struct Counters {
    std::atomic<std::uint64_t> peakLiveBytes{0};
    std::atomic<std::uint64_t> liveAllocationsAtPeak{0};
    std::atomic<std::uint64_t> bytesAllocated{0};
    std::atomic<std::uint64_t> allocationCount{0};
    std::atomic<std::uint64_t> bytesFreed{0};
    std::atomic<std::uint64_t> freeCount{0};
};

// Constant-initialised: allocations made by static constructors, before any code of
// ours has run, are counted too.
constinit Counters counters;

void AddWithSwap(std::atomic<std::uint64_t>& counter, std::uint64_t amount) {
    std::uint64_t seen = counter.load(std::memory_order_relaxed);
    while (!counter.compare_exchange_weak(seen, seen + amount, std::memory_order_relaxed)) {
    }
}

void CountAllocation(std::size_t size) {
    AddWithSwap(counters.bytesAllocated, size);
    AddWithSwap(counters.allocationCount, 1);
    const std::uint64_t live = counters.bytesAllocated.load(std::memory_order_relaxed) -
                               counters.bytesFreed.load(std::memory_order_relaxed);
    std::uint64_t peak = counters.peakLiveBytes.load(std::memory_order_relaxed);
    while (live > peak) {
        if (counters.peakLiveBytes.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
            counters.liveAllocationsAtPeak.store(counters.allocationCount.load(std::memory_order_relaxed) -
                                                     counters.freeCount.load(std::memory_order_relaxed),
                                                 std::memory_order_relaxed);
            break;
        }
    }
}

void CountFree(std::size_t size) {
    AddWithSwap(counters.bytesFreed, size);
    AddWithSwap(counters.freeCount, 1);
}

void* CountingAllocate(void*, std::size_t size) {
    void* block = Platform::HeapAllocate(size);
    if (block != nullptr) CountAllocation(Platform::HeapBlockSize(block));
    return block;
}

void CountingFree(void*, void* block) {
    if (block == nullptr) return;
    CountFree(Platform::HeapBlockSize(block));
    Platform::HeapFree(block);
}

void* CountingReallocate(void* context, void* block, std::size_t size) {
    if (block == nullptr) return CountingAllocate(context, size);
    const std::size_t oldSize = Platform::HeapBlockSize(block);
    void* moved = Platform::HeapReallocate(block, size);
    if (moved == nullptr) return nullptr;  // the old block is untouched and still counted
    CountFree(oldSize);
    CountAllocation(Platform::HeapBlockSize(moved));
    return moved;
}

char* CountingDuplicateString(void* context, const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(CountingAllocate(context, size));
    if (copy != nullptr) std::memcpy(copy, text, size);
    return copy;
}

std::size_t CountingBlockSize(void*, const void* block) { return Platform::HeapBlockSize(block); }

constexpr AllocatorHooks kCountingHooks{CountingAllocate, CountingFree,      CountingReallocate,
                                        CountingDuplicateString, CountingBlockSize, nullptr};

constinit AllocatorHooks hooks = kCountingHooks;

}  // namespace

void* Allocate(std::size_t size) { return hooks.allocate(hooks.context, size); }

void Free(void* block) { hooks.free(hooks.context, block); }

void* Reallocate(void* block, std::size_t size) { return hooks.reallocate(hooks.context, block, size); }

char* DuplicateString(const char* text) { return hooks.duplicateString(hooks.context, text); }

std::size_t BlockSize(const void* block) { return hooks.blockSize(hooks.context, block); }

AllocatorHooks CurrentHooks() { return hooks; }

void InstallHooks(const AllocatorHooks& replacement) { hooks = replacement; }

AllocatorHooks CountingHooks() { return kCountingHooks; }

AllocationCounters ReadCounters() {
    return AllocationCounters{
        counters.peakLiveBytes.load(), counters.liveAllocationsAtPeak.load(), counters.bytesAllocated.load(),
        counters.allocationCount.load(), counters.bytesFreed.load(),          counters.freeCount.load(),
    };
}

}  // namespace Kesh::Memory
