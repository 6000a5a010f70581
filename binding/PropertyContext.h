#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "binding/InternTable.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace Kesh {

// The heap of one value tree: the interned texts and the arena that every part of the
// tree is cut from. A context made by Create lives at the start of a run of 4096-byte
// blocks and cuts the first parts of its tree from the rest of that run; after that it
// takes further runs (growing up to sixteen blocks) from the process-wide BlockAllocator.
// Storage is handed out in size classes (multiples of 8 bytes up to kMaxCellSize, then
// powers of two up to kMaxSpanSize) and what is freed goes on a free list of its class
// for the next request of that class. What is larger still comes from the heap, linked
// into the context. Dropping the context gives its runs back together, without visiting
// the tree; when everything a context handed out has come back, its runs go back at once.
// Never shared between threads.
class PropertyContext {
public:
    static constexpr std::size_t kGrain = 8;
    static constexpr std::size_t kMaxCellSize = 128;
    static constexpr std::size_t kMaxSpanSize = 4096;
    static constexpr std::size_t kCellClasses = kMaxCellSize / kGrain;
    static constexpr std::size_t kSpanClasses = 5;  // 256 to 4096 bytes
    static constexpr std::size_t kClasses = kCellClasses + kSpanClasses;
    // Runs grow up to this many blocks (a whole region).
    static constexpr std::size_t kMaxRunBlocks = 16;

    // Sizes 1..8 are class 0, 121..128 class 15, 129..256 class 16, ... 2049..4096 class 20.
    static constexpr std::size_t ClassOf(std::size_t size) noexcept {
        if (size <= kMaxCellSize) return size == 0 ? 0 : (size - 1) / kGrain;
        return kCellClasses + static_cast<std::size_t>(std::bit_width(size - 1)) - 8;
    }
    static constexpr std::size_t ClassBytes(std::size_t sizeClass) noexcept {
        return sizeClass < kCellClasses ? (sizeClass + 1) * kGrain : std::size_t{256} << (sizeClass - kCellClasses);
    }

    // A context at the start of a run of its own of blocks blocks (1 to kMaxRunBlocks; a
    // copy of a whole tree knows how much it will need). Two by default: an event body
    // then lives in one run, made and dropped by one exchange with the block allocator's
    // cache, and a tiny tree touches only the first. Throws std::bad_alloc when no block
    // can be had.
    static PropertyContext* Create(std::size_t blocks = 2);
    // Drops a context made by Create, with everything still cut from it.
    static void Destroy(PropertyContext* context) noexcept;

    // A context of its own storage (not in a block): its first run is taken on demand.
    PropertyContext() noexcept;
    ~PropertyContext();
    PropertyContext(const PropertyContext&) = delete;
    PropertyContext& operator=(const PropertyContext&) = delete;

    // A cell of at least size bytes (1 to kMaxCellSize), 8-byte aligned.
    void* AllocateCell(std::size_t size) { return Take(ClassOf(size)); }
    // Returns a cell; size must be the size it was allocated with.
    void FreeCell(void* cell, std::size_t size) noexcept { Give(cell, ClassOf(size)); }

    // Storage of any size, 8-byte aligned: a cell, a span or a linked heap block.
    // StorageCapacity tells how many bytes a request of size really gets; a block is
    // returned with the size it was requested with or with its capacity (both map to the
    // same class). Throws std::bad_alloc when no memory can be had.
    static std::size_t StorageCapacity(std::size_t size) noexcept {
        return size <= kMaxSpanSize ? ClassBytes(ClassOf(size)) : size;
    }
    void* AllocateStorage(std::size_t size) { return size <= kMaxSpanSize ? Take(ClassOf(size)) : AllocateLarge(size); }
    void FreeStorage(void* block, std::size_t size) noexcept;
    // Moves a block of oldSize bytes to one of at least newSize (larger), keeping the
    // first keep bytes (in place when it is the last one cut and there is room). On
    // failure the old block is untouched and std::bad_alloc thrown.
    void* GrowStorage(void* block, std::size_t oldSize, std::size_t newSize, std::size_t keep);

    template <typename T, typename... Arguments>
    T* NewCell(Arguments&&... arguments) {
        static_assert(sizeof(T) <= kMaxCellSize, "too large for a cell");
        static_assert(alignof(T) <= 8, "cells are 8-byte aligned at most");
        void* cell = AllocateCell(sizeof(T));
        try {
            if constexpr (std::is_constructible_v<T, Arguments...>) {
                return new (cell) T(std::forward<Arguments>(arguments)...);
            } else {
                return new (cell) T{std::forward<Arguments>(arguments)...};
            }
        } catch (...) {
            FreeCell(cell, sizeof(T));
            throw;
        }
    }
    template <typename T>
    void DeleteCell(T* cell) noexcept {
        cell->~T();
        FreeCell(cell, sizeof(T));
    }

    InternTable& Strings() noexcept { return strings_; }
    const InternTable& Strings() const noexcept { return strings_; }

    // Byte arrays keep their bytes on the general heap, outside the context; while any
    // is alive the tree must be visited to free them.
    void AddBlob() noexcept { ++blobs_; }
    void RemoveBlob() noexcept { --blobs_; }
    bool HoldsOnlyOwnStorage() const noexcept { return blobs_ == 0; }

    // Blocks the context holds from the BlockAllocator, its own block included.
    std::size_t BlockCount() const noexcept { return blocks_; }

private:
    struct FreeCellLink {
        FreeCellLink* next;
    };
    // The head of each run; the run's storage follows it.
    struct alignas(8) RunHead {
        RunHead* next;
        std::size_t blocks;
    };
    // The head of a heap block beyond the largest span; keeps the payload 8-byte aligned.
    struct alignas(8) LargeBlock {
        LargeBlock* previous;
        LargeBlock* next;
    };

    void* Take(std::size_t sizeClass) {
        if (FreeCellLink* cell = free_[sizeClass]; cell != nullptr) {
            Unpoison(cell, ClassBytes(sizeClass));
            free_[sizeClass] = cell->next;
            ++live_;
            return cell;
        }
        const std::size_t bytes = ClassBytes(sizeClass);
        if (static_cast<std::size_t>(limit_ - cursor_) < bytes) Refill(bytes);
        unsigned char* cell = cursor_;
        cursor_ += bytes;
        Unpoison(cell, bytes);
        ++live_;
        return cell;
    }
    void Give(void* cell, std::size_t sizeClass) noexcept {
        if (cell == nullptr) return;
        auto* link = static_cast<FreeCellLink*>(cell);
        link->next = free_[sizeClass];
        free_[sizeClass] = link;
        Poison(cell, ClassBytes(sizeClass));
        if (--live_ == 0) Reset();
    }

    // A new run with room for bytes; what is left of the current one goes to the free lists.
    void Refill(std::size_t bytes);
    void Shelve(unsigned char* begin, unsigned char* end) noexcept;
    // Everything handed out has come back: the runs go, the own block's storage is fresh.
    void Reset() noexcept;
    void ReturnRuns(RunHead* runs) noexcept;
    unsigned char* OwnStorage() noexcept;
    void* AllocateLarge(std::size_t size);
    void LinkLarge(LargeBlock* block) noexcept;
    void UnlinkLarge(LargeBlock* block) noexcept;
    // Under the address sanitizer storage not handed out is poisoned, so that a value read
    // after its cell went back, or past its cell, is reported as it would be on the heap.
    static void Poison([[maybe_unused]] const void* begin, [[maybe_unused]] std::size_t bytes) noexcept {
#if defined(__SANITIZE_ADDRESS__)
        ASAN_POISON_MEMORY_REGION(begin, bytes);
#endif
    }
    static void Unpoison([[maybe_unused]] const void* begin, [[maybe_unused]] std::size_t bytes) noexcept {
#if defined(__SANITIZE_ADDRESS__)
        ASAN_UNPOISON_MEMORY_REGION(begin, bytes);
#endif
    }

    unsigned char* cursor_ = nullptr;  // the uncut rest of the current run
    unsigned char* limit_ = nullptr;
    FreeCellLink* free_[kClasses] = {};
    std::size_t live_ = 0;  // cells and spans handed out and not returned
    RunHead* runs_ = nullptr;
    std::size_t blocks_ = 0;
    std::size_t nextRunBlocks_ = 1;
    LargeBlock* large_ = nullptr;
    std::size_t blobs_ = 0;
    std::size_t ownBlocks_ = 0;  // made by Create: the run the context heads, its first storage
    InternTable strings_;
};

}  // namespace Kesh
