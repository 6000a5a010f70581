#include "binding/PropertyContext.h"

#include <cstring>

#include "binding/BlockAllocator.h"
#include "platform/Allocator.h"

namespace Kesh {

static_assert(PropertyContext::kSpanSizes[PropertyContext::kSpanClasses - 1] == PropertyContext::kMaxSpanSize);
static_assert(PropertyContext::kSpanSizes[0] > PropertyContext::kMaxCellSize);

PropertyContext::PropertyContext() noexcept : strings_(*this) {
    for (std::size_t i = 0; i < kSizeClasses; ++i) pools_[i].SetCellSize(static_cast<std::uint32_t>((i + 1) * 4));
    for (std::size_t i = 0; i < kSpanClasses; ++i) spans_[i].SetCellSize(kSpanSizes[i]);
}

PropertyContext::~PropertyContext() {
    // Cells and spans go with their pools' blocks; only the large blocks are freed one by
    // one, whether or not the tree let go of them first.
    while (large_ != nullptr) {
        LargeBlock* next = large_->next;
        Memory::Free(large_);
        large_ = next;
    }
    // The pools' blocks go back together, under one taking of the allocator's lock; the
    // pools' own destructors then find nothing left. The intern table's entries are not
    // visited, so nothing is freed into the pools after this.
    BlockBatch batch;
    for (CellPool& pool : pools_) {
        if (pool.BlockCount() != 0) pool.ReleaseAll(batch);
    }
    for (CellPool& pool : spans_) {
        if (pool.BlockCount() != 0) pool.ReleaseAll(batch);
    }
}

std::size_t PropertyContext::SpanClass(std::size_t size) noexcept {
    std::size_t at = 0;
    while (kSpanSizes[at] < size) ++at;
    return at;
}

std::size_t PropertyContext::StorageCapacity(std::size_t size) noexcept {
    if (size <= kMaxCellSize) return (size + 3) & ~std::size_t{3};
    if (size <= kMaxSpanSize) return kSpanSizes[SpanClass(size)];
    return size;
}

void PropertyContext::LinkLarge(LargeBlock* block) noexcept {
    block->previous = nullptr;
    block->next = large_;
    if (large_ != nullptr) large_->previous = block;
    large_ = block;
}

void PropertyContext::UnlinkLarge(LargeBlock* block) noexcept {
    if (block->previous != nullptr) {
        block->previous->next = block->next;
    } else {
        large_ = block->next;
    }
    if (block->next != nullptr) block->next->previous = block->previous;
}

void* PropertyContext::AllocateStorage(std::size_t size) {
    if (size <= kMaxCellSize) return AllocateCell(size == 0 ? 1 : size);
    if (size <= kMaxSpanSize) return spans_[SpanClass(size)].Allocate();
    if (size > SIZE_MAX - sizeof(LargeBlock)) throw std::bad_alloc();
    auto* block = static_cast<LargeBlock*>(Memory::Allocate(sizeof(LargeBlock) + size));
    if (block == nullptr) throw std::bad_alloc();
    LinkLarge(block);
    return block + 1;
}

void PropertyContext::FreeStorage(void* storage, std::size_t size) noexcept {
    if (storage == nullptr) return;
    if (size <= kMaxCellSize) {
        FreeCell(storage, size == 0 ? 1 : size);
    } else if (size <= kMaxSpanSize) {
        spans_[SpanClass(size)].Free(storage);
    } else {
        LargeBlock* block = static_cast<LargeBlock*>(storage) - 1;
        UnlinkLarge(block);
        Memory::Free(block);
    }
}

void* PropertyContext::GrowStorage(void* storage, std::size_t oldSize, std::size_t newSize, std::size_t keep) {
    if (storage != nullptr && oldSize > kMaxSpanSize) {
        // Heap to heap: let the heap move it, and link the block again wherever it lands.
        if (newSize > SIZE_MAX - sizeof(LargeBlock)) throw std::bad_alloc();
        LargeBlock* block = static_cast<LargeBlock*>(storage) - 1;
        UnlinkLarge(block);
        auto* moved = static_cast<LargeBlock*>(Memory::Reallocate(block, sizeof(LargeBlock) + newSize));
        if (moved == nullptr) {
            LinkLarge(block);
            throw std::bad_alloc();
        }
        LinkLarge(moved);
        return moved + 1;
    }
    void* grown = AllocateStorage(newSize);
    if (keep != 0) std::memcpy(grown, storage, keep);
    FreeStorage(storage, oldSize);
    return grown;
}

std::size_t PropertyContext::BlockCount() const noexcept {
    std::size_t count = 0;
    for (const CellPool& pool : pools_) count += pool.BlockCount();
    for (const CellPool& pool : spans_) count += pool.BlockCount();
    return count;
}

}  // namespace Kesh
