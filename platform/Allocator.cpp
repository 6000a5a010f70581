#include "platform/Allocator.h"

#include <atomic>
#include <cstring>

#include "platform/Heap.h"

namespace Kesh::Memory {

namespace {

// Totals are spread over cache-line-sized stripes so that threads allocating at the same
// time do not all write one line; a figure is the sum over the stripes. Live bytes stay
// one counter: the peak must compare every allocation with everything alive at that moment.
constexpr std::size_t kStripes = 16;
constexpr std::size_t kLine = 64;

struct alignas(kLine) Stripe {
    std::atomic<std::uint64_t> bytesAllocated{0};
    std::atomic<std::uint64_t> allocationCount{0};
    std::atomic<std::uint64_t> bytesFreed{0};
    std::atomic<std::uint64_t> freeCount{0};
};

struct alignas(kLine) LiveBytes {
    // Signed, and moved by one read-modify-write per operation: a free is always counted
    // after the allocation of its block, so this figure never goes below zero, whatever
    // other threads do between two reads.
    std::atomic<std::int64_t> bytes{0};
};

struct alignas(kLine) Peak {
    std::atomic<std::uint64_t> liveBytes{0};
    std::atomic<std::uint64_t> liveAllocations{0};
};

// Constant-initialised: allocations made by static constructors, before any code of
// ours has run, are counted too.
constinit Stripe stripes[kStripes];
constinit LiveBytes live;
constinit Peak peak;

// Threads run on stacks at least 64 KiB apart, so the stack address picks a thread's
// stripe without thread-local storage (slow in a DLL on some targets). Any choice would
// keep the sums right; this one keeps threads apart.
Stripe& CurrentStripe() noexcept {
    const unsigned char marker = 0;
    const auto address = reinterpret_cast<std::uintptr_t>(&marker) >> 16;
    const auto mixed = static_cast<std::uint32_t>(address) * 0x9E3779B1u;
    return stripes[mixed >> (32 - 4)];
}
static_assert(kStripes == 16, "CurrentStripe takes 4 bits");

struct Totals {
    std::uint64_t bytesAllocated = 0;
    std::uint64_t allocationCount = 0;
    std::uint64_t bytesFreed = 0;
    std::uint64_t freeCount = 0;
};

// Frees are read before allocations: every free counted by then has its allocation
// counted too (release on update, acquire on read), so allocations never trail frees.
Totals SumStripes() noexcept {
    Totals totals;
    for (const Stripe& stripe : stripes) {
        totals.bytesFreed += stripe.bytesFreed.load(std::memory_order_acquire);
        totals.freeCount += stripe.freeCount.load(std::memory_order_acquire);
    }
    for (const Stripe& stripe : stripes) {
        totals.bytesAllocated += stripe.bytesAllocated.load(std::memory_order_acquire);
        totals.allocationCount += stripe.allocationCount.load(std::memory_order_acquire);
    }
    return totals;
}

void CountAllocation(std::size_t size) {
    Stripe& stripe = CurrentStripe();
    stripe.bytesAllocated.fetch_add(size, std::memory_order_release);
    stripe.allocationCount.fetch_add(1, std::memory_order_release);
    const std::int64_t liveNow =
        live.bytes.fetch_add(static_cast<std::int64_t>(size), std::memory_order_relaxed) + static_cast<std::int64_t>(size);
    if (liveNow <= 0) return;
    const auto liveBytes = static_cast<std::uint64_t>(liveNow);
    std::uint64_t seen = peak.liveBytes.load(std::memory_order_relaxed);
    while (liveBytes > seen) {
        if (peak.liveBytes.compare_exchange_weak(seen, liveBytes, std::memory_order_relaxed)) {
            const Totals totals = SumStripes();
            peak.liveAllocations.store(
                totals.allocationCount > totals.freeCount ? totals.allocationCount - totals.freeCount : 0,
                std::memory_order_relaxed);
            break;
        }
    }
}

void CountFree(std::size_t size) {
    Stripe& stripe = CurrentStripe();
    live.bytes.fetch_sub(static_cast<std::int64_t>(size), std::memory_order_relaxed);
    stripe.bytesFreed.fetch_add(size, std::memory_order_release);
    stripe.freeCount.fetch_add(1, std::memory_order_release);
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
    const std::uint64_t peakBytes = peak.liveBytes.load();
    const std::uint64_t liveAllocationsAtPeak = peak.liveAllocations.load();
    const Totals totals = SumStripes();
    return AllocationCounters{peakBytes,        liveAllocationsAtPeak, totals.bytesAllocated,
                              totals.allocationCount, totals.bytesFreed,   totals.freeCount};
}

}  // namespace Kesh::Memory
