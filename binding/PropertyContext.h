#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "binding/CellPool.h"
#include "binding/InternTable.h"

namespace Kesh {

// The heap of one value tree: the interned texts and the pools that every fixed-size
// part of the tree (byte-array, enum, collection and structure headers, member nodes,
// intern entries) is cut from. Created by the tree's root when it first needs storage
// and destroyed with it; never shared between threads.
class PropertyContext {
public:
    static constexpr std::size_t kSizeClasses = 18;
    static constexpr std::size_t kMaxCellSize = kSizeClasses * 4;

    PropertyContext() noexcept;
    ~PropertyContext() = default;
    PropertyContext(const PropertyContext&) = delete;
    PropertyContext& operator=(const PropertyContext&) = delete;

    // A cell of at least size bytes (1 to kMaxCellSize), from the pool of its size class.
    void* AllocateCell(std::size_t size) { return pools_[SizeClass(size)].Allocate(); }
    // Returns a cell; size must be the size it was allocated with.
    void FreeCell(void* cell, std::size_t size) noexcept { pools_[SizeClass(size)].Free(cell); }

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

    // Blocks the pools hold from the BlockAllocator.
    std::size_t BlockCount() const noexcept;

private:
    // Requested sizes round up to a multiple of 4: 1..4 is class 0, 69..72 class 17.
    static constexpr std::size_t SizeClass(std::size_t size) noexcept { return (size + 3) / 4 - 1; }

    CellPool pools_[kSizeClasses];
    InternTable strings_;  // after the pools: its entries go back to them when it is destroyed
};

}  // namespace Kesh
