#include "binding/BlockAllocator.h"

#include <bit>
#include <cstring>
#include <new>

#include "platform/Allocator.h"
#include "platform/VirtualMemory.h"

namespace Kesh {

static_assert(Platform::kRegionSize == BlockAllocator::kBlockSize * BlockAllocator::kBlocksPerRegion);
static_assert(BlockAllocator::kBlocksPerRegion <= 32, "a region's free blocks are one 32-bit mask");

namespace {

constexpr std::uint32_t kAllFree = (std::uint32_t{1} << BlockAllocator::kBlocksPerRegion) - 1;

// The bits of blocks neighbouring blocks starting at first.
constexpr std::uint32_t RunBits(std::size_t first, std::size_t blocks) noexcept {
    return (blocks >= 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << blocks) - 1) << first;
}

// Bit i set when blocks i to i + blocks - 1 are all free.
inline std::uint32_t RunStarts(std::uint32_t freeMask, std::size_t blocks) noexcept {
    std::uint32_t starts = freeMask;
    for (std::size_t shift = 1; shift < blocks && starts != 0; ++shift) starts &= freeMask >> shift;
    return starts;
}

}  // namespace

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

std::size_t BlockAllocator::AddRegion() {
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
    regions_[at] = Region{base, kAllFree};
    ++regionCount_;
    freeBlocks_ += kBlocksPerRegion;
    return at;
}

void* BlockAllocator::TakeCached(std::size_t blocks) noexcept {
    // The most recently kept first: its blocks are the likeliest to be in the cache. Only
    // the last few are looked at, so that a miss (the cache empty, say) stays cheap.
    std::size_t at = cacheTop_.load(std::memory_order_relaxed);
    for (std::size_t seen = 0; seen < kTakeDepth; ++seen) {
        at = (at == 0 ? kCachedRuns : at) - 1;
        std::atomic<std::uintptr_t>& slot = cache_[at];
        std::uintptr_t run = slot.load(std::memory_order_relaxed);
        if (run != 0 && (run & (kBlockSize - 1)) == blocks &&
            slot.compare_exchange_strong(run, 0, std::memory_order_acquire, std::memory_order_relaxed)) {
            cacheTop_.store(at, std::memory_order_relaxed);
            return reinterpret_cast<void*>(run & ~std::uintptr_t{kBlockSize - 1});
        }
    }
    return nullptr;
}

void BlockAllocator::Recycle(const Run* runs, std::size_t count) noexcept {
    Run locked[kCachedRuns];
    std::size_t lockedCount = 0;
    std::size_t at = cacheTop_.load(std::memory_order_relaxed);
    std::size_t seen = 0;  // slots found taken in a row; once all were, the rest go under the lock
    for (std::size_t i = 0; i < count; ++i) {
        const auto first = reinterpret_cast<std::uintptr_t>(runs[i].first);
        const std::size_t blocks = runs[i].blocks;
        if (first == 0 || blocks == 0) continue;
        bool kept = false;
        if (blocks <= kMaxCachedBlocks && first % kBlockSize == 0) {
            for (; seen < kCachedRuns && !kept; ++seen) {
                std::atomic<std::uintptr_t>& slot = cache_[at];
                std::uintptr_t empty = 0;
                kept = slot.load(std::memory_order_relaxed) == 0 &&
                       slot.compare_exchange_strong(empty, first | blocks, std::memory_order_release,
                                                    std::memory_order_relaxed);
                if (++at == kCachedRuns) at = 0;
            }
        }
        if (kept) {
            cacheTop_.store(at, std::memory_order_relaxed);
            seen = 0;
            continue;
        }
        if (lockedCount == kCachedRuns) {
            FreeRuns(locked, lockedCount);
            lockedCount = 0;
        }
        locked[lockedCount++] = runs[i];
    }
    FreeRuns(locked, lockedCount);
}

void* BlockAllocator::AllocateRun(std::size_t blocks) {
    if (blocks == 0 || blocks > kBlocksPerRegion) throw std::bad_alloc();
    if (blocks <= kMaxCachedBlocks) {
        if (void* cached = TakeCached(blocks); cached != nullptr) return cached;
    }
    Platform::LockGuard guard(lock_);
    std::size_t at = regionCount_;
    std::size_t first = 0;
    // A whole region is always a fresh one: a region all free is not in the table.
    if (blocks < kBlocksPerRegion && freeBlocks_ >= blocks) {
        // First fit, from the region the last run came from: a tree's runs then tend
        // to share regions, and regions that others emptied fill up again.
        std::size_t index = hint_ < regionCount_ ? hint_ : 0;
        for (std::size_t seen = 0; seen < regionCount_; ++seen) {
            if (const std::uint32_t starts = RunStarts(regions_[index].freeMask, blocks); starts != 0) {
                at = index;
                first = static_cast<std::size_t>(std::countr_zero(starts));
                break;
            }
            if (++index == regionCount_) index = 0;
        }
    }
    if (at == regionCount_) at = AddRegion();
    Region& region = regions_[at];
    region.freeMask &= ~RunBits(first, blocks);
    freeBlocks_ -= blocks;
    blocksInUse_ += blocks;
    hint_ = at;
    return reinterpret_cast<void*>(region.base + first * kBlockSize);
}

void BlockAllocator::FreeRun(void* first, std::size_t blocks) noexcept {
    if (first == nullptr || blocks == 0) return;
    Platform::LockGuard guard(lock_);
    FreeRunLocked(first, blocks);
}

void BlockAllocator::FreeRuns(const Run* runs, std::size_t count) noexcept {
    if (count == 0) return;
    Platform::LockGuard guard(lock_);
    for (std::size_t i = 0; i < count; ++i) {
        if (runs[i].first != nullptr) FreeRunLocked(runs[i].first, runs[i].blocks);
    }
}

void BlockAllocator::FreeRunLocked(void* first, std::size_t blocks) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(first);
    const std::uintptr_t base = address & ~(std::uintptr_t{Platform::kRegionSize} - 1);
    const std::size_t index = (address - base) / kBlockSize;
    if (address % kBlockSize != 0 || blocks > kBlocksPerRegion - index) return;
    const std::size_t at = FindRegion(base);
    if (at == regionCount_ || regions_[at].base != base) return;  // not one of ours
    Region& region = regions_[at];
    // Blocks already free are not counted twice.
    const std::uint32_t returned = RunBits(index, blocks) & ~region.freeMask;
    std::size_t count = 0;
    for (std::uint32_t bits = returned; bits != 0; bits &= bits - 1) ++count;
    region.freeMask |= returned;
    blocksInUse_ -= count;
    freeBlocks_ += count;
    if (region.freeMask != kAllFree) return;
    // Every block of the region is free: it goes back (or aside).
    freeBlocks_ -= kBlocksPerRegion;
    ReleaseOrKeep(base);
    for (std::size_t i = at + 1; i < regionCount_; ++i) regions_[i - 1] = regions_[i];
    --regionCount_;
    if (hint_ > at) --hint_;
    if (regions_ != inlineRegions_ && regionCount_ <= kInlineRegions / 2) {
        // Few regions are held any more: the bookkeeping goes back inside the allocator.
        std::memcpy(inlineRegions_, regions_, regionCount_ * sizeof(Region));
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

BlockAllocator::Counts BlockAllocator::ReadCounts() noexcept {
    Platform::LockGuard guard(lock_);
    for (std::atomic<std::uintptr_t>& slot : cache_) {
        if (const std::uintptr_t run = slot.exchange(0, std::memory_order_acquire); run != 0) {
            FreeRunLocked(reinterpret_cast<void*>(run & ~std::uintptr_t{kBlockSize - 1}), run & (kBlockSize - 1));
        }
    }
    return Counts{regionCount_, blocksInUse_, spareCount_};
}

}  // namespace Kesh
