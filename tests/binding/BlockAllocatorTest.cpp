#include "binding/BlockAllocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace Kesh {
namespace {

std::uintptr_t RegionOf(void* block) { return reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{0xFFFF}; }

TEST(BlockAllocator, HandsOutSixteenBlocksPerRegionAndReleasesEmptyRegions) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    const BlockAllocator::Counts start = allocator.ReadCounts();
    // With nothing else held, 32 blocks need exactly two new regions, and a 33rd a third.
    std::vector<void*> blocks;
    std::set<std::uintptr_t> regions;
    for (int i = 0; i < 33; ++i) {
        void* block = allocator.AllocateBlock();
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % BlockAllocator::kBlockSize, 0u);
        std::memset(block, 0xA5, BlockAllocator::kBlockSize);  // the whole block is ours
        blocks.push_back(block);
        regions.insert(RegionOf(block));
    }
    EXPECT_EQ(std::set<void*>(blocks.begin(), blocks.end()).size(), blocks.size());
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, start.blocksInUse + 33);
    const bool alone = start.regions == 0;
    if (alone) {
        EXPECT_EQ(allocator.ReadCounts().regions, 3u);
        EXPECT_EQ(regions.size(), 3u);
    }

    // Returning every block of one region releases it; a block needed next comes from the
    // regions still held.
    std::vector<void*> rest;
    for (void* block : blocks) {
        if (RegionOf(block) == RegionOf(blocks[0])) {
            allocator.FreeBlock(block);
        } else {
            rest.push_back(block);
        }
    }
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, start.blocksInUse + rest.size());
    rest.push_back(allocator.AllocateBlock());
    if (alone) {
        EXPECT_EQ(allocator.ReadCounts().regions, 2u);
    }

    // Many blocks returned together, across regions and with a gap, balance the counts.
    for (std::size_t i = 0; i < 2 * BlockAllocator::kBlocksPerRegion; ++i) rest.push_back(allocator.AllocateBlock());
    rest.insert(rest.begin() + 7, nullptr);
    allocator.FreeBlocks(rest.data(), 20);
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, start.blocksInUse + rest.size() - 20);  // the gap counts in neither
    allocator.FreeBlocks(rest.data() + 20, rest.size() - 20);
    allocator.FreeBlocks(nullptr, 0);
    allocator.FreeBlock(nullptr);
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, start.blocksInUse);
    EXPECT_EQ(allocator.ReadCounts().regions, start.regions);
}

// Regions that empty are kept aside, up to kMaxSpareRegions: the next blocks needed come
// from them (no new mapping), and a region emptied beyond that bound still goes back.
TEST(BlockAllocator, KeepsEmptyRegionsAsSparesUpToTheBound) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    if (allocator.ReadCounts().regions != 0) GTEST_SKIP() << "another region is in use";
    constexpr std::size_t kRegions = BlockAllocator::kMaxSpareRegions + 2;
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < kRegions * BlockAllocator::kBlocksPerRegion; ++i) blocks.push_back(allocator.AllocateBlock());
    EXPECT_EQ(allocator.ReadCounts().regions, kRegions);
    EXPECT_EQ(allocator.ReadCounts().spareRegions, 0u);
    for (void* block : blocks) allocator.FreeBlock(block);
    BlockAllocator::Counts counts = allocator.ReadCounts();
    EXPECT_EQ(counts.regions, 0u);
    EXPECT_EQ(counts.blocksInUse, 0u);
    EXPECT_EQ(counts.spareRegions, BlockAllocator::kMaxSpareRegions);

    void* again = allocator.AllocateBlock();
    counts = allocator.ReadCounts();
    EXPECT_EQ(counts.regions, 1u);
    EXPECT_EQ(counts.spareRegions, BlockAllocator::kMaxSpareRegions - 1);
    std::memset(again, 0x5A, BlockAllocator::kBlockSize);
    allocator.FreeBlock(again);
    EXPECT_EQ(allocator.ReadCounts().spareRegions, BlockAllocator::kMaxSpareRegions);
}

}  // namespace
}  // namespace Kesh
