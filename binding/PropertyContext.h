#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "binding/CellPool.h"
#include "binding/InternTable.h"

namespace Kesh {

// The heap of one value tree: the interned texts and the pools that every part of the
// tree is cut from. Fixed-size parts (byte-array, enum, collection and structure headers,
// member nodes, short intern entries) come from cell pools of 4 to 72 bytes; element
// arrays and longer texts from span pools of up to a block, so that building, copying
// and dropping a tree seldom reaches the general heap. What is larger still comes from
// the heap, linked into the context, so that dropping the context frees it without
// visiting the tree. Created by the tree's root when it first needs storage and
// destroyed with it; never shared between threads.
class PropertyContext {
public:
    static constexpr std::size_t kSizeClasses = 18;
    static constexpr std::size_t kMaxCellSize = kSizeClasses * 4;
    // Span sizes: multiples of 16 (whole values) that fill a block well.
    static constexpr std::size_t kSpanClasses = 6;
    static constexpr std::uint32_t kSpanSizes[kSpanClasses] = {128, 256, 496, 1008, 2032, 4064};
    static constexpr std::size_t kMaxSpanSize = 4064;

    PropertyContext() noexcept;
    ~PropertyContext();
    PropertyContext(const PropertyContext&) = delete;
    PropertyContext& operator=(const PropertyContext&) = delete;

    // A cell of at least size bytes (1 to kMaxCellSize), from the pool of its size class.
    void* AllocateCell(std::size_t size) { return pools_[SizeClass(size)].Allocate(); }
    // Returns a cell; size must be the size it was allocated with.
    void FreeCell(void* cell, std::size_t size) noexcept { pools_[SizeClass(size)].Free(cell); }

    // Storage of any size, 8-byte aligned: a cell, a span or a linked heap block.
    // StorageCapacity tells how many bytes a request of size really gets; a block is
    // returned with the size it was requested with or with its capacity (both map to the
    // same pool). Throws std::bad_alloc when no memory can be had.
    static std::size_t StorageCapacity(std::size_t size) noexcept;
    void* AllocateStorage(std::size_t size);
    void FreeStorage(void* block, std::size_t size) noexcept;
    // Moves a block of oldSize bytes to one of at least newSize (larger), keeping the
    // first keep bytes. On failure the old block is untouched and std::bad_alloc thrown.
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

    // Blocks the pools hold from the BlockAllocator.
    std::size_t BlockCount() const noexcept;

private:
    // The head of a heap block beyond the largest span; keeps the payload 8-byte aligned.
    struct alignas(8) LargeBlock {
        LargeBlock* previous;
        LargeBlock* next;
    };

    // Requested sizes round up to a multiple of 4: 1..4 is class 0, 69..72 class 17.
    static constexpr std::size_t SizeClass(std::size_t size) noexcept { return (size + 3) / 4 - 1; }
    static std::size_t SpanClass(std::size_t size) noexcept;
    void LinkLarge(LargeBlock* block) noexcept;
    void UnlinkLarge(LargeBlock* block) noexcept;

    CellPool pools_[kSizeClasses];
    CellPool spans_[kSpanClasses];
    LargeBlock* large_ = nullptr;
    std::size_t blobs_ = 0;
    InternTable strings_;  // after the pools: its entries go back to them when it is destroyed
};

}  // namespace Kesh
