#pragma once

#include <cstddef>
#include <cstdint>

namespace Kesh {

struct CellBlock;
class BlockBatch;

// A free list of equal cells. The first cells come from a small store inside the pool
// itself, so a small tree never touches the block allocator; after that the pool takes
// 4096-byte blocks from the process-wide BlockAllocator and carves them into cells. A
// block is found from any of its cells by rounding the cell's address down, and goes
// back to the BlockAllocator as soon as its last cell is returned. Cells are linked by
// 16-bit indexes within their block.
class CellPool {
public:
    static constexpr std::size_t kInnerBytes = 144;

    CellPool() noexcept = default;
    ~CellPool();
    CellPool(const CellPool&) = delete;
    CellPool& operator=(const CellPool&) = delete;

    // Set once, before the first cell is handed out; a multiple of 4 up to 72 bytes.
    void SetCellSize(std::uint32_t cellSize) noexcept;
    std::uint32_t CellSize() const noexcept { return cellSize_; }

    // A cell of CellSize() bytes; throws std::bad_alloc when no block can be had.
    void* Allocate();
    void Free(void* cell) noexcept;

    // Blocks the pool holds from the BlockAllocator.
    std::size_t BlockCount() const noexcept { return blockCount_; }

    // Hands every block to batch and forgets them and the inner store's cells: every cell
    // handed out is gone. For an owner dropping its pools together.
    void ReleaseAll(BlockBatch& batch) noexcept;

private:
    static constexpr std::uint16_t kNoCell = 0xFFFF;

    bool IsInner(const void* cell) const noexcept;
    void AddBlock();
    static void Unlink(CellBlock*& list, CellBlock* block) noexcept;
    static void Push(CellBlock*& list, CellBlock* block) noexcept;

    alignas(8) unsigned char inner_[kInnerBytes];
    std::uint32_t cellSize_ = 0;
    std::uint16_t innerFree_ = kNoCell;  // first free cell of the inner store
    std::uint16_t innerUnused_ = 0;      // inner cells never handed out start here
    CellBlock* available_ = nullptr;         // blocks with at least one free cell
    CellBlock* full_ = nullptr;              // blocks without one
    std::size_t blockCount_ = 0;
};

}  // namespace Kesh
