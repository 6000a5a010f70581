#include "binding/BlockAllocator.h"

#include <cstring>
#include <new>

#include "platform/Allocator.h"
#include "platform/VirtualMemory.h"

namespace Kesh {

static_assert(Platform::kRegionSize == BlockAllocator::kBlockSize * BlockAllocator::kBlocksPerRegion);

BlockAllocator& BlockAllocator::Instance() noexcept {
    // Built in static storage and never destroyed, so that it outlives every context,
    // including those destroyed by static destructors.
    alignas(BlockAllocator) static unsigned char storage[sizeof(BlockAllocator)];
    static BlockAllocator* instance = new (storage) BlockAllocator();
    return *instance;
}

std::size_t BlockAllocator::FindRegion(std::uintptr_t base) const noexcept {
    std::size_t low = 0;
    std::size_t high = regionCount_;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (regions_[middle].base < base) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

void BlockAllocator::Push(FreeBlockLink* link) noexcept {
    link->previous = nullptr;
    link->next = freeBlocks_;
    if (freeBlocks_ != nullptr) freeBlocks_->previous = link;
    freeBlocks_ = link;
}

void BlockAllocator::Unlink(FreeBlockLink* link) noexcept {
    if (link->previous != nullptr) {
        link->previous->next = link->next;
    } else {
        freeBlocks_ = link->next;
    }
    if (link->next != nullptr) link->next->previous = link->previous;
}

void BlockAllocator::AddRegion() {
    if (regionCount_ == regionCapacity_) {
        const std::size_t capacity = regionCapacity_ * 2;
        void* grown = nullptr;
        if (regions_ == inlineRegions_) {
            grown = Memory::Allocate(capacity * sizeof(Region));
            if (grown != nullptr) std::memcpy(grown, inlineRegions_, regionCount_ * sizeof(Region));
        } else {
            grown = Memory::Reallocate(regions_, capacity * sizeof(Region));
        }
        if (grown == nullptr) throw std::bad_alloc();
        regions_ = static_cast<Region*>(grown);
        regionCapacity_ = capacity;
    }
    void* region = spares_;
    if (region != nullptr) {
        spares_ = spares_->next;
        --spareCount_;
    } else {
        region = Platform::ReserveRegion();
    }
    if (region == nullptr) throw std::bad_alloc();
    const auto base = reinterpret_cast<std::uintptr_t>(region);
    const std::size_t at = FindRegion(base);
    for (std::size_t i = regionCount_; i > at; --i) regions_[i] = regions_[i - 1];
    regions_[at] = Region{base, static_cast<std::uint32_t>(kBlocksPerRegion)};
    ++regionCount_;
    // Pushed from the top so that the region's first block is handed out first.
    for (std::size_t i = kBlocksPerRegion; i-- > 0;) {
        Push(reinterpret_cast<FreeBlockLink*>(base + i * kBlockSize));
    }
}

void* BlockAllocator::AllocateBlock() {
    Platform::LockGuard guard(lock_);
    if (freeBlocks_ == nullptr) AddRegion();
    FreeBlockLink* link = freeBlocks_;
    Unlink(link);
    const auto address = reinterpret_cast<std::uintptr_t>(link);
    const std::size_t at = FindRegion(address & ~(std::uintptr_t{Platform::kRegionSize} - 1));
    --regions_[at].freeBlocks;
    ++blocksInUse_;
    return link;
}

void BlockAllocator::FreeBlock(void* block) noexcept {
    if (block == nullptr) return;
    Platform::LockGuard guard(lock_);
    FreeBlockLocked(block);
}

void BlockAllocator::FreeBlocks(void* const* blocks, std::size_t count) noexcept {
    if (count == 0) return;
    Platform::LockGuard guard(lock_);
    for (std::size_t i = 0; i < count; ++i) {
        if (blocks[i] != nullptr) FreeBlockLocked(blocks[i]);
    }
}

void BlockAllocator::FreeBlockLocked(void* block) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(block);
    const std::uintptr_t base = address & ~(std::uintptr_t{Platform::kRegionSize} - 1);
    const std::size_t at = FindRegion(base);
    if (at == regionCount_ || regions_[at].base != base) return;  // not one of ours
    --blocksInUse_;
    if (++regions_[at].freeBlocks < kBlocksPerRegion) {
        Push(static_cast<FreeBlockLink*>(block));
        return;
    }
    // Every block of the region is free: take its other fifteen off the free list and
    // give the region back.
    for (std::size_t i = 0; i < kBlocksPerRegion; ++i) {
        const std::uintptr_t other = base + i * kBlockSize;
        if (other != address) Unlink(reinterpret_cast<FreeBlockLink*>(other));
    }
    ReleaseOrKeep(base);
    for (std::size_t i = at + 1; i < regionCount_; ++i) regions_[i - 1] = regions_[i];
    if (--regionCount_ == 0 && regions_ != inlineRegions_) {
        // Nothing is held any more: the bookkeeping goes back to the heap too.
        Memory::Free(regions_);
        regions_ = inlineRegions_;
        regionCapacity_ = kInlineRegions;
    }
}

void BlockAllocator::ReleaseOrKeep(std::uintptr_t base) noexcept {
    if (spareCount_ < kMaxSpareRegions) {
        auto* spare = reinterpret_cast<SpareRegion*>(base);
        spare->next = spares_;
        spares_ = spare;
        ++spareCount_;
    } else {
        Platform::ReleaseRegion(reinterpret_cast<void*>(base));
    }
}

BlockAllocator::Counts BlockAllocator::ReadCounts() const noexcept {
    Platform::LockGuard guard(lock_);
    return Counts{regionCount_, blocksInUse_, spareCount_};
}

}  // namespace Kesh
