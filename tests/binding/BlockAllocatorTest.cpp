#include "binding/BlockAllocator.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <vector>

namespace Kesh {
namespace {

TEST(BlockAllocator, HandsOutSixteenBlocksPerRegionAndReleasesEmptyRegions) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    EXPECT_EQ(&allocator, &BlockAllocator::Instance());
    const BlockAllocator::Counts start = allocator.ReadCounts();

    // Fill whole regions: the allocator holds nothing else now, so 32 blocks need
    // exactly two new regions, and a 33rd block a third.
    std::vector<void*> blocks;
    std::set<std::uintptr_t> regions;
    for (int i = 0; i < 33; ++i) {
        void* block = allocator.AllocateBlock();
        ASSERT_NE(block, nullptr);
        const auto address = reinterpret_cast<std::uintptr_t>(block);
        EXPECT_EQ(address % BlockAllocator::kBlockSize, 0u);
        std::memset(block, 0xA5, BlockAllocator::kBlockSize);  // the whole block is ours
        blocks.push_back(block);
        regions.insert(address & ~std::uintptr_t{0xFFFF});
    }
    EXPECT_EQ(std::set<void*>(blocks.begin(), blocks.end()).size(), blocks.size());
    BlockAllocator::Counts counts = allocator.ReadCounts();
    EXPECT_EQ(counts.blocksInUse, start.blocksInUse + 33);
    if (start.regions == 0) {
        EXPECT_EQ(counts.regions, 3u);
        EXPECT_EQ(regions.size(), 3u);
    }

    // Returning every block of one region releases it; the others stay.
    const std::uintptr_t firstRegion = reinterpret_cast<std::uintptr_t>(blocks[0]) & ~std::uintptr_t{0xFFFF};
    std::vector<void*> rest;
    for (void* block : blocks) {
        if ((reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{0xFFFF}) == firstRegion) {
            allocator.FreeBlock(block);
        } else {
            rest.push_back(block);
        }
    }
    counts = allocator.ReadCounts();
    EXPECT_EQ(counts.blocksInUse, start.blocksInUse + rest.size());
    if (start.regions == 0) {
        EXPECT_EQ(counts.regions, 2u);
    }

    // A returned block is handed out again before a new region is taken.
    void* again = allocator.AllocateBlock();
    if (start.regions == 0) {
        EXPECT_EQ(allocator.ReadCounts().regions, 2u);
    }
    rest.push_back(again);

    for (void* block : rest) allocator.FreeBlock(block);
    allocator.FreeBlock(nullptr);
    counts = allocator.ReadCounts();
    EXPECT_EQ(counts.blocksInUse, start.blocksInUse);
    EXPECT_EQ(counts.regions, start.regions);
}

// Blocks returned together, across regions and with gaps, balance the counts as if
// returned one by one, and whole regions still go.
TEST(BlockAllocator, ReturnsManyBlocksUnderOneTakingOfTheLock) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    const BlockAllocator::Counts start = allocator.ReadCounts();
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < 3 * BlockAllocator::kBlocksPerRegion + 5; ++i) blocks.push_back(allocator.AllocateBlock());
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, start.blocksInUse + blocks.size());
    blocks.insert(blocks.begin() + 7, nullptr);
    allocator.FreeBlocks(blocks.data(), 20);
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, start.blocksInUse + blocks.size() - 20);
    allocator.FreeBlocks(blocks.data() + 20, blocks.size() - 20);
    allocator.FreeBlocks(nullptr, 0);
    const BlockAllocator::Counts end = allocator.ReadCounts();
    EXPECT_EQ(end.blocksInUse, start.blocksInUse);
    EXPECT_EQ(end.regions, start.regions);
}

// Regions that empty are kept aside, up to kMaxSpareRegions: the next blocks needed come
// from them (no new mapping, their pages already in place), the most recent first, and
// a region emptied beyond that bound still goes back.
TEST(BlockAllocator, KeepsEmptyRegionsAsSparesUpToTheBound) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    const BlockAllocator::Counts start = allocator.ReadCounts();
    if (start.regions != 0) GTEST_SKIP() << "another region is in use";

    constexpr std::size_t kRegions = BlockAllocator::kMaxSpareRegions + 2;
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < kRegions * BlockAllocator::kBlocksPerRegion; ++i) {
        blocks.push_back(allocator.AllocateBlock());
    }
    EXPECT_EQ(allocator.ReadCounts().regions, kRegions);
    EXPECT_EQ(allocator.ReadCounts().spareRegions, 0u);
    const auto regionOf = [](void* block) { return reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{0xFFFF}; };
    // Emptied in order: the last region kept is the one emptied at the bound.
    const std::uintptr_t lastKept = regionOf(blocks[BlockAllocator::kMaxSpareRegions * BlockAllocator::kBlocksPerRegion - 1]);
    for (void* block : blocks) allocator.FreeBlock(block);
    BlockAllocator::Counts counts = allocator.ReadCounts();
    EXPECT_EQ(counts.regions, 0u);
    EXPECT_EQ(counts.blocksInUse, 0u);
    EXPECT_EQ(counts.spareRegions, BlockAllocator::kMaxSpareRegions);

    void* again = allocator.AllocateBlock();
    EXPECT_EQ(regionOf(again), lastKept);
    counts = allocator.ReadCounts();
    EXPECT_EQ(counts.regions, 1u);
    EXPECT_EQ(counts.spareRegions, BlockAllocator::kMaxSpareRegions - 1);
    std::memset(again, 0x5A, BlockAllocator::kBlockSize);
    allocator.FreeBlock(again);
    EXPECT_EQ(allocator.ReadCounts().spareRegions, BlockAllocator::kMaxSpareRegions);
}

}  // namespace
}  // namespace Kesh
