#include "binding/CellPool.h"

#include <cstring>

#include "binding/BlockAllocator.h"

// Under the address sanitizer free cells are poisoned, so that a value read after its
// cell went back to the pool is reported as it would be for heap memory.
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define KESH_POISON_CELL(cell, size) ASAN_POISON_MEMORY_REGION((cell), (size))
#define KESH_UNPOISON_CELL(cell, size) ASAN_UNPOISON_MEMORY_REGION((cell), (size))
#else
#define KESH_POISON_CELL(cell, size) static_cast<void>(0)
#define KESH_UNPOISON_CELL(cell, size) static_cast<void>(0)
#endif

namespace Kesh {

// The head of every block; the cells follow it.
struct CellBlock {
    CellBlock* previous;
    CellBlock* next;
    std::uint16_t inUse;
    std::uint16_t firstFree;
    std::uint16_t cellCount;
};

namespace {

// Cells start at an 8-byte boundary so that cells holding pointers or 64-bit numbers
// stay aligned.
constexpr std::size_t kCellsOffset = (sizeof(CellBlock) + 7) & ~std::size_t{7};

inline std::uint16_t ReadLink(const unsigned char* cell) noexcept {
    std::uint16_t link;
    std::memcpy(&link, cell, sizeof(link));
    return link;
}

inline void WriteLink(unsigned char* cell, std::uint16_t link) noexcept { std::memcpy(cell, &link, sizeof(link)); }

}  // namespace

static_assert(BlockAllocator::kBlockSize / 4 < 0xFFFF, "cell indexes must fit 16 bits");

void CellPool::SetCellSize(std::uint32_t cellSize) noexcept { cellSize_ = cellSize; }

CellPool::~CellPool() {
    // Cells still out are lost with their blocks: the context that owns the pool is
    // going away and nothing may refer to them any more.
    if (blockCount_ != 0) {
        BlockBatch batch;
        ReleaseAll(batch);
    }
    KESH_UNPOISON_CELL(inner_, kInnerBytes);
}

void CellPool::ReleaseAll(BlockBatch& batch) noexcept {
    for (CellBlock* list = available_; list != nullptr;) {
        CellBlock* next = list->next;
        KESH_UNPOISON_CELL(list, BlockAllocator::kBlockSize);
        batch.Add(list);
        list = next;
    }
    for (CellBlock* list = full_; list != nullptr;) {
        CellBlock* next = list->next;
        KESH_UNPOISON_CELL(list, BlockAllocator::kBlockSize);
        batch.Add(list);
        list = next;
    }
    available_ = nullptr;
    full_ = nullptr;
    blockCount_ = 0;
    innerFree_ = kNoCell;
    innerUnused_ = 0;
    KESH_UNPOISON_CELL(inner_, kInnerBytes);  // handed out afresh, as never-used cells are
}

bool CellPool::IsInner(const void* cell) const noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(cell);
    const auto begin = reinterpret_cast<std::uintptr_t>(inner_);
    return address >= begin && address < begin + kInnerBytes;
}

void CellPool::Push(CellBlock*& list, CellBlock* block) noexcept {
    block->previous = nullptr;
    block->next = list;
    if (list != nullptr) list->previous = block;
    list = block;
}

void CellPool::Unlink(CellBlock*& list, CellBlock* block) noexcept {
    if (block->previous != nullptr) {
        block->previous->next = block->next;
    } else {
        list = block->next;
    }
    if (block->next != nullptr) block->next->previous = block->previous;
}

void CellPool::AddBlock() {
    auto* block = static_cast<CellBlock*>(BlockAllocator::Instance().AllocateBlock());
    const auto count = static_cast<std::uint16_t>((BlockAllocator::kBlockSize - kCellsOffset) / cellSize_);
    unsigned char* cells = reinterpret_cast<unsigned char*>(block) + kCellsOffset;
    for (std::uint16_t i = 0; i < count; ++i) {
        WriteLink(cells + std::size_t{i} * cellSize_, static_cast<std::uint16_t>(i + 1 < count ? i + 1 : kNoCell));
        KESH_POISON_CELL(cells + std::size_t{i} * cellSize_, cellSize_);
    }
    block->inUse = 0;
    block->firstFree = 0;
    block->cellCount = count;
    Push(available_, block);
    ++blockCount_;
}

void* CellPool::Allocate() {
    if (innerFree_ != kNoCell) {
        unsigned char* cell = inner_ + std::size_t{innerFree_} * cellSize_;
        KESH_UNPOISON_CELL(cell, cellSize_);
        innerFree_ = ReadLink(cell);
        return cell;
    }
    if (innerUnused_ < kInnerBytes / cellSize_) {
        return inner_ + std::size_t{innerUnused_++} * cellSize_;
    }
    if (available_ == nullptr) AddBlock();
    CellBlock* block = available_;
    unsigned char* cell = reinterpret_cast<unsigned char*>(block) + kCellsOffset + std::size_t{block->firstFree} * cellSize_;
    KESH_UNPOISON_CELL(cell, cellSize_);
    block->firstFree = ReadLink(cell);
    if (++block->inUse == block->cellCount) {
        Unlink(available_, block);
        Push(full_, block);
    }
    return cell;
}

void CellPool::Free(void* cell) noexcept {
    if (cell == nullptr) return;
    auto* bytes = static_cast<unsigned char*>(cell);
    if (IsInner(cell)) {
        WriteLink(bytes, innerFree_);
        KESH_POISON_CELL(bytes, cellSize_);
        innerFree_ = static_cast<std::uint16_t>((bytes - inner_) / cellSize_);
        return;
    }
    auto* block = reinterpret_cast<CellBlock*>(reinterpret_cast<std::uintptr_t>(cell) &
                                           ~(std::uintptr_t{BlockAllocator::kBlockSize} - 1));
    const bool wasFull = block->inUse == block->cellCount;
    const auto index =
        static_cast<std::uint16_t>((bytes - reinterpret_cast<unsigned char*>(block) - kCellsOffset) / cellSize_);
    WriteLink(bytes, block->firstFree);
    KESH_POISON_CELL(bytes, cellSize_);
    block->firstFree = index;
    --block->inUse;
    if (wasFull) {
        Unlink(full_, block);
        Push(available_, block);
    }
    if (block->inUse == 0) {
        Unlink(available_, block);
        --blockCount_;
        KESH_UNPOISON_CELL(block, BlockAllocator::kBlockSize);
        BlockAllocator::Instance().FreeBlock(block);
    }
}

}  // namespace Kesh
