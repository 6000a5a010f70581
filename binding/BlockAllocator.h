#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Lock.h"

namespace Kesh {

// The process-wide source of the 4096-byte blocks that cell pools carve into cells.
// Blocks come sixteen at a time from 64 KiB regions of the platform layer; a region
// goes back as soon as all its blocks are free again, except for up to kMaxSpareRegions
// kept aside as spares: a tree made and dropped while no other tree is alive would
// otherwise map, fault in and unmap its regions every time. Every hand-out and return takes
// the allocator's own lock, since pools of many threads share it.
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

    // The one allocator of the process, created on first use and never destroyed
    // (pools may return blocks from static destructors).
    static BlockAllocator& Instance() noexcept;

    // A block aligned to kBlockSize; throws std::bad_alloc when no region can be had.
    void* AllocateBlock();
    void FreeBlock(void* block) noexcept;
    // Returns count blocks under one taking of the lock, as a context that is dropped
    // gives back all of its pools' blocks at once.
    void FreeBlocks(void* const* blocks, std::size_t count) noexcept;

    Counts ReadCounts() const noexcept;

    BlockAllocator(const BlockAllocator&) = delete;
    BlockAllocator& operator=(const BlockAllocator&) = delete;

private:
    struct Region {
        std::uintptr_t base;
        std::uint32_t freeBlocks;
    };
    struct FreeBlockLink {
        FreeBlockLink* previous;
        FreeBlockLink* next;
    };

    BlockAllocator() noexcept = default;
    ~BlockAllocator() = default;

    std::size_t FindRegion(std::uintptr_t base) const noexcept;
    void AddRegion();
    void FreeBlockLocked(void* block) noexcept;
    void ReleaseOrKeep(std::uintptr_t base) noexcept;
    void Unlink(FreeBlockLink* link) noexcept;
    void Push(FreeBlockLink* link) noexcept;

    // The bookkeeping of the first regions lives inside the allocator, so that a tree made
    // and dropped while no other is alive touches the heap for none of it.
    static constexpr std::size_t kInlineRegions = 128;

    mutable Platform::Lock lock_;
    Region inlineRegions_[kInlineRegions];
    Region* regions_ = inlineRegions_;  // sorted by base
    std::size_t regionCount_ = 0;
    std::size_t regionCapacity_ = kInlineRegions;
    FreeBlockLink* freeBlocks_ = nullptr;
    std::size_t blocksInUse_ = 0;
    struct SpareRegion {
        SpareRegion* next;
    };
    SpareRegion* spares_ = nullptr;  // whole free regions, off the lists above
    std::size_t spareCount_ = 0;
};

// Collects blocks to return and gives them back to the BlockAllocator in batches, each
// under one taking of its lock; whatever is left goes back when the batch is destroyed.
class BlockBatch {
public:
    BlockBatch() noexcept = default;
    ~BlockBatch() { Flush(); }
    BlockBatch(const BlockBatch&) = delete;
    BlockBatch& operator=(const BlockBatch&) = delete;

    void Add(void* block) noexcept {
        if (count_ == kCapacity) Flush();
        blocks_[count_++] = block;
    }
    void Flush() noexcept {
        if (count_ != 0) BlockAllocator::Instance().FreeBlocks(blocks_, count_);
        count_ = 0;
    }

private:
    static constexpr std::size_t kCapacity = 64;
    void* blocks_[kCapacity];
    std::size_t count_ = 0;
};

}  // namespace Kesh
