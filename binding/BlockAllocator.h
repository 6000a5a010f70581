#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/Lock.h"

namespace Kesh {

// The process-wide source of the 4096-byte blocks that value trees are cut from. Blocks
// come from 64 KiB regions of the platform layer and are handed out in runs: up to sixteen
// neighbouring blocks of one region, so that a growing tree takes one run where it would
// take many blocks. Each region keeps a bitmap of its free blocks, so taking and returning
// a run writes nothing into the blocks. A region goes back as soon as all its blocks are
// free again, except for up to kMaxSpareRegions kept aside as spares: a tree made and
// dropped while no other tree is alive would otherwise map, fault in and unmap its region
// every time. Every hand-out and return takes the allocator's own lock, since trees of
// many threads share it.
class BlockAllocator {
public:
    static constexpr std::size_t kBlockSize = 4096;
    static constexpr std::size_t kBlocksPerRegion = 16;
    // 16 MiB: a little more than a tree read from a body of two megabytes holds, element
    // arrays and long texts included, so that reading such bodies one after the other
    // does not unmap and fault in its regions every time.
    static constexpr std::size_t kMaxSpareRegions = 256;

    struct Counts {
        std::size_t regions;      // regions whose blocks are on hand (the spare aside)
        std::size_t blocksInUse;  // blocks handed out and not yet returned
        std::size_t spareRegions; // all-free regions kept for the next ones needed
    };

    // A run of blocks to give back: its first block and how many blocks it has.
    struct Run {
        void* first;
        std::size_t blocks;
    };

    // The one allocator of the process, created on first use and never destroyed
    // (trees may be dropped by static destructors).
    static BlockAllocator& Instance() noexcept;

    // blocks (1 to kBlocksPerRegion) neighbouring blocks of one region, the first aligned
    // to kBlockSize; throws std::bad_alloc when no region can be had.
    void* AllocateRun(std::size_t blocks);
    void* AllocateBlock() { return AllocateRun(1); }
    // Returns a run as it was handed out (or any part of one). Blocks that are not the
    // allocator's, or not handed out, are left alone.
    void FreeRun(void* first, std::size_t blocks) noexcept;
    void FreeBlock(void* block) noexcept { FreeRun(block, 1); }
    // Returns count runs under one taking of the lock, as a tree that is dropped gives
    // back all of its runs at once.
    void FreeRuns(const Run* runs, std::size_t count) noexcept;
    // The same for runs exactly as AllocateRun handed them out, each returned once: short
    // runs are kept in a small cache, without the lock, for the next runs of their size,
    // so that small trees made and dropped again and again take the lock for none of it.
    void Recycle(const Run* runs, std::size_t count) noexcept;

    // Runs kept in the cache are given back first, so the counts are exact.
    Counts ReadCounts() noexcept;

    BlockAllocator(const BlockAllocator&) = delete;
    BlockAllocator& operator=(const BlockAllocator&) = delete;

private:
    struct Region {
        std::uintptr_t base;
        std::uint32_t freeMask;  // bit i set: block i is free
    };

    BlockAllocator() noexcept = default;
    ~BlockAllocator() = default;

    void* TakeCached(std::size_t blocks) noexcept;
    std::size_t FindRegion(std::uintptr_t base) const noexcept;
    std::size_t AddRegion();
    void FreeRunLocked(void* first, std::size_t blocks) noexcept;
    void ReleaseOrKeep(std::uintptr_t base) noexcept;

    // The bookkeeping of the first regions lives inside the allocator, so that a tree made
    // and dropped while no other is alive touches the heap for none of it.
    static constexpr std::size_t kInlineRegions = 128;

    // Runs recycled and not yet handed out again: the first block's address with the
    // run's block count in its low bits; 0 for an empty slot. Counted as in use.
    static constexpr std::size_t kCachedRuns = 32;
    static constexpr std::size_t kMaxCachedBlocks = 4;
    static constexpr std::size_t kTakeDepth = 8;
    std::atomic<std::uintptr_t> cache_[kCachedRuns] = {};
    // Where the last run was kept: the cache is used as a stack from there, so that one
    // thread's drops and makes find their slot at once (only a hint; slots decide).
    std::atomic<std::size_t> cacheTop_{0};

    Platform::Lock lock_;
    Region inlineRegions_[kInlineRegions];
    Region* regions_ = inlineRegions_;  // sorted by base
    std::size_t regionCount_ = 0;
    std::size_t regionCapacity_ = kInlineRegions;
    std::size_t freeBlocks_ = 0;  // free blocks of the regions above
    std::size_t hint_ = 0;        // the region the last run came from
    std::size_t blocksInUse_ = 0;
    struct SpareRegion {
        SpareRegion* next;
    };
    SpareRegion* spares_ = nullptr;  // whole free regions, off the table above
    std::size_t spareCount_ = 0;
};

}  // namespace Kesh
