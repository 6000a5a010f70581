#include "binding/BlockAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

namespace Kesh {
namespace {

// Runs are neighbouring blocks of one region, found by the regions' bitmaps: a hole a
// run left is filled by a run that fits it; runs returned together, with gaps and parts
// returned twice, balance the counts; whole regions still go.
TEST(BlockAllocator, HandsOutRunsWithinRegionsAndTakesThemBackTogether) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    const BlockAllocator::Counts start = allocator.ReadCounts();
    if (start.regions != 0) GTEST_SKIP() << "another region is in use";
    const auto regionOf = [](void* block) { return reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{0xFFFF}; };

    void* whole = allocator.AllocateRun(16);
    void* three = allocator.AllocateRun(3);
    void* five = allocator.AllocateRun(5);
    void* eight = allocator.AllocateRun(8);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(whole) % 0x10000, 0u);
    EXPECT_EQ(regionOf(three), regionOf(five));
    EXPECT_EQ(regionOf(three), regionOf(eight));  // 3 + 5 + 8 fill the second region
    EXPECT_NE(regionOf(whole), regionOf(three));
    for (void* run : {three, five, eight}) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(run) % BlockAllocator::kBlockSize, 0u);
    }
    std::memset(whole, 0xA5, 16 * BlockAllocator::kBlockSize);
    std::memset(three, 0xA5, 3 * BlockAllocator::kBlockSize);
    std::memset(five, 0xA5, 5 * BlockAllocator::kBlockSize);
    std::memset(eight, 0xA5, 8 * BlockAllocator::kBlockSize);
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, 32u);
    EXPECT_EQ(allocator.ReadCounts().regions, 2u);

    // The five blocks' hole takes a run of four, not a new region; a run of two does not
    // fit what is left and opens a third region.
    allocator.FreeRun(five, 5);
    void* four = allocator.AllocateRun(4);
    EXPECT_EQ(regionOf(four), regionOf(three));
    void* two = allocator.AllocateRun(2);
    EXPECT_EQ(allocator.ReadCounts().regions, 3u);

    // Not ours, not a block's start, past a region's end, or too many: nothing happens.
    int local = 0;
    allocator.FreeRun(&local, 1);
    allocator.FreeRun(static_cast<char*>(four) + 8, 1);
    allocator.FreeRun(eight, 9);
    EXPECT_THROW(allocator.AllocateRun(0), std::bad_alloc);
    EXPECT_THROW(allocator.AllocateRun(17), std::bad_alloc);
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, 16u + 3 + 4 + 8 + 2);

    const BlockAllocator::Run runs[] = {{three, 3}, {nullptr, 7}, {four, 4}, {four, 2}, {whole, 16}, {eight, 8}};
    allocator.FreeRuns(runs, std::size(runs));
    BlockAllocator::Counts counts = allocator.ReadCounts();
    EXPECT_EQ(counts.blocksInUse, 2u);
    EXPECT_EQ(counts.regions, 1u);
    allocator.FreeRun(two, 2);
    allocator.FreeRuns(nullptr, 0);
    counts = allocator.ReadCounts();
    EXPECT_EQ(counts.blocksInUse, 0u);
    EXPECT_EQ(counts.regions, 0u);
}

// A run goes to the first region with room, searched from the one the last run came
// from round to the others: a hole in any region is taken before a new region opens.
TEST(BlockAllocator, FindsAHoleInAnyRegionBeforeOpeningANewOne) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    if (allocator.ReadCounts().regions != 0) GTEST_SKIP() << "another region is in use";
    constexpr std::size_t kBlock = BlockAllocator::kBlockSize;
    std::vector<char*> regions;  // three full ones, in address order
    for (int i = 0; i < 3; ++i) regions.push_back(static_cast<char*>(allocator.AllocateRun(16)));
    std::sort(regions.begin(), regions.end());
    allocator.FreeRun(regions[2] + 4 * kBlock, 4);
    allocator.FreeRun(regions[1], 5);
    EXPECT_EQ(allocator.AllocateRun(5), regions[1]);  // the only room for five
    EXPECT_EQ(allocator.AllocateRun(4), regions[2] + 4 * kBlock);
    EXPECT_EQ(allocator.ReadCounts().regions, 3u);
    for (char* region : regions) allocator.FreeRun(region, 16);
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, 0u);
}

// Short runs recycled are kept aside and handed out again, the last kept first, for
// runs of their size only; reading the counts gives them back, so the counts stay exact.
TEST(BlockAllocator, KeepsRecycledShortRunsForTheNextOfTheirSize) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    const BlockAllocator::Counts start = allocator.ReadCounts();
    void* one = allocator.AllocateRun(1);
    void* two = allocator.AllocateRun(2);
    void* eight = allocator.AllocateRun(8);
    const BlockAllocator::Run runs[] = {{one, 1}, {two, 2}, {eight, 8}};
    allocator.Recycle(runs, std::size(runs));
    EXPECT_EQ(allocator.AllocateRun(2), two);
    EXPECT_EQ(allocator.AllocateRun(1), one);
    allocator.Recycle(runs, 2);
    EXPECT_EQ(allocator.ReadCounts().blocksInUse, start.blocksInUse);  // eight went back at once, the others now
    void* again = allocator.AllocateRun(1);
    std::memset(again, 0x3C, BlockAllocator::kBlockSize);
    const BlockAllocator::Run more[] = {{again, 1}};
    allocator.Recycle(more, 1);
    const BlockAllocator::Counts end = allocator.ReadCounts();
    EXPECT_EQ(end.blocksInUse, start.blocksInUse);
    EXPECT_EQ(end.regions, start.regions);
}

// Threads taking and returning runs of every size at once: no block is handed to two of
// them (each fills its runs with its own mark and finds it intact), and the counts end
// where they began.
TEST(BlockAllocator, ThreadsShareRunsWithoutOverlap) {
    BlockAllocator& allocator = BlockAllocator::Instance();
    const BlockAllocator::Counts start = allocator.ReadCounts();
    constexpr int kThreads = 4;
    std::vector<int> intact(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&allocator, &intact, t] {
            const auto mark = static_cast<unsigned char>(0x10 + t);
            std::vector<BlockAllocator::Run> held;
            bool ok = true;
            for (int round = 0; round < 300; ++round) {
                const std::size_t blocks = 1 + static_cast<std::size_t>(round * 7 + t) % 16;
                void* run = allocator.AllocateRun(blocks);
                std::memset(run, mark, blocks * BlockAllocator::kBlockSize);
                held.push_back({run, blocks});
                if (held.size() > 6) {
                    const BlockAllocator::Run oldest = held.front();
                    const auto* bytes = static_cast<const unsigned char*>(oldest.first);
                    for (std::size_t i = 0; i < oldest.blocks * BlockAllocator::kBlockSize; i += 512) {
                        ok = ok && bytes[i] == mark;
                    }
                    // Half through the cache, which threads share without the lock.
                    if (round % 2 == 0) {
                        allocator.FreeRun(oldest.first, oldest.blocks);
                    } else {
                        allocator.Recycle(&oldest, 1);
                    }
                    held.erase(held.begin());
                }
            }
            allocator.Recycle(held.data(), held.size());
            intact[static_cast<std::size_t>(t)] = ok ? 1 : 0;
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(intact[static_cast<std::size_t>(t)], 1) << t;
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
