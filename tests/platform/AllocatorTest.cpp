#include "platform/Allocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "platform/Heap.h"
#include "tests/support/AllocationFailure.h"

namespace Kesh::Memory {
namespace {

AllocationCounters Delta(const AllocationCounters& after, const AllocationCounters& before) {
    return {after.peakLiveBytes - before.peakLiveBytes,   after.liveAllocationsAtPeak - before.liveAllocationsAtPeak,
            after.bytesAllocated - before.bytesAllocated, after.allocationCount - before.allocationCount,
            after.bytesFreed - before.bytesFreed,         after.freeCount - before.freeCount};
}

TEST(Allocator, CountsEveryOperationByTheBlocksRealSize) {
    const AllocationCounters start = ReadCounters();
    void* block = Allocate(10);
    ASSERT_NE(block, nullptr);
    const std::size_t size = BlockSize(block);
    EXPECT_GE(size, 10u);
    AllocationCounters d = Delta(ReadCounters(), start);
    EXPECT_EQ(d.allocationCount, 1u);
    EXPECT_EQ(d.bytesAllocated, size);

    // A reallocation is a free of the old block and an allocation of the new one.
    void* grown = Reallocate(block, 5000);
    ASSERT_NE(grown, nullptr);
    const std::size_t grownSize = BlockSize(grown);
    EXPECT_GE(grownSize, 5000u);
    d = Delta(ReadCounters(), start);
    EXPECT_EQ(d.allocationCount, 2u);
    EXPECT_EQ(d.freeCount, 1u);
    EXPECT_EQ(d.bytesAllocated, size + grownSize);
    EXPECT_EQ(d.bytesFreed, size);

    char* copy = DuplicateString("hello");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, "hello");
    const std::size_t copySize = BlockSize(copy);
    Free(copy);
    Free(grown);
    Free(nullptr);  // not a free of anything
    d = Delta(ReadCounters(), start);
    EXPECT_EQ(d.allocationCount, 3u);
    EXPECT_EQ(d.freeCount, 3u);
    EXPECT_EQ(d.bytesAllocated, d.bytesFreed);
    EXPECT_EQ(d.bytesAllocated, size + grownSize + copySize);
}

TEST(Allocator, PeakFollowsOnlyAStrictlyHigherLiveFigure) {
    // Far above anything the test process held before, so this allocation sets the peak.
    const std::size_t big = 64u * 1024 * 1024;
    void* block = Allocate(big);
    ASSERT_NE(block, nullptr);
    AllocationCounters at = ReadCounters();
    EXPECT_EQ(at.peakLiveBytes, at.bytesAllocated - at.bytesFreed);
    EXPECT_EQ(at.liveAllocationsAtPeak, at.allocationCount - at.freeCount);

    // Freeing and allocating something smaller leaves the peak where it was.
    Free(block);
    void* small = Allocate(100);
    AllocationCounters later = ReadCounters();
    EXPECT_EQ(later.peakLiveBytes, at.peakLiveBytes);
    EXPECT_EQ(later.liveAllocationsAtPeak, at.liveAllocationsAtPeak);
    Free(small);
}

struct alignas(256) Wide {
    char bytes[300];
};

TEST(Allocator, StandardContainersAndOverAlignedObjectsGoThroughTheCounters) {
    const AllocationCounters start = ReadCounters();
    {
        std::vector<int> numbers(1000, 7);
        std::string text(200, 'x');
        auto* wide = new Wide;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wide) % 256, 0u);
        delete wide;
    }
    const AllocationCounters d = Delta(ReadCounters(), start);
    EXPECT_EQ(d.allocationCount, 3u);
    EXPECT_EQ(d.freeCount, 3u);
    EXPECT_EQ(d.bytesAllocated, d.bytesFreed);
    EXPECT_GE(d.bytesAllocated, 4000u + 200u + 300u);
}

// The new-handler of the test below: it makes room by ending the shortage.
Testing::AllocationFailure* gShortage = nullptr;
int gHandlerCalls = 0;
void MakeRoom() {
    ++gHandlerCalls;
    gShortage->End();
}

// Memory that cannot be had: plain and over-aligned new throw std::bad_alloc when no
// new-handler is set, and otherwise call the handler and try again once it made room.
// (Asserted after the shortage ends: a failing assertion allocates.)
TEST(Allocator, NewThrowsOrCallsTheNewHandlerWhenMemoryRunsOut) {
    for (const bool aligned : {false, true}) {
        for (const bool handler : {false, true}) {
            bool threw = false;
            gHandlerCalls = 0;
            {
                Testing::AllocationFailure failure(1, true);
                gShortage = &failure;
                std::set_new_handler(handler ? MakeRoom : nullptr);
                try {
                    if (aligned) {
                        Wide* volatile wide = new Wide;
                        delete wide;
                    } else {
                        char* volatile plain = new char[16];
                        delete[] plain;
                    }
                } catch (const std::bad_alloc&) {
                    threw = true;
                }
                std::set_new_handler(nullptr);
            }
            EXPECT_EQ(threw, !handler) << "aligned " << aligned;
            EXPECT_EQ(gHandlerCalls, handler ? 1 : 0) << "aligned " << aligned;
        }
    }
}

TEST(Allocator, InstalledHooksReceiveTheContextWord) {
    struct Seen {
        int allocations = 0;
        int frees = 0;
    } seen;
    AllocatorHooks recording = CountingHooks();
    recording.context = &seen;
    recording.allocate = [](void* context, std::size_t size) {
        ++static_cast<Seen*>(context)->allocations;
        return Platform::HeapAllocate(size);
    };
    recording.free = [](void* context, void* block) {
        ++static_cast<Seen*>(context)->frees;
        Platform::HeapFree(block);
    };
    const AllocatorHooks previous = CurrentHooks();
    InstallHooks(recording);
    void* block = Allocate(8);
    Free(block);
    InstallHooks(previous);
    EXPECT_EQ(seen.allocations, 1);
    EXPECT_EQ(seen.frees, 1);
}

// Live figures are differences of totals that other threads move at the same time: a
// thread that reads its bytes allocated, then sees a later allocation's free before that
// allocation, would take a negative live figure for a huge one and keep it as the peak.
TEST(Allocator, CountersBalanceAndPeakStaysSaneWhileThreadsAllocateAndFree) {
    const AllocationCounters start = ReadCounters();
    // Everything alive at once stays far below a terabyte: the threads hold a block each.
    constexpr std::uint64_t kSane = std::uint64_t{1} << 40;
    bool sane = true;
    {
        std::atomic<bool> stop{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            // Small blocks on some threads, large ones on others: a large block allocated
            // and freed inside a small allocation's accounting is what went negative.
            const std::size_t size = t % 2 == 0 ? 24 : 256 * 1024;
            threads.emplace_back([&stop, size] {
                while (!stop.load(std::memory_order_relaxed)) {
                    Free(Reallocate(Allocate(size), size / 2 + 8));
                }
            });
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        while (sane && std::chrono::steady_clock::now() < until) {
            const AllocationCounters now = ReadCounters();
            sane = now.peakLiveBytes < kSane && now.liveAllocationsAtPeak < kSane;
            std::this_thread::yield();
        }
        stop = true;
        for (auto& thread : threads) thread.join();
    }
    const AllocationCounters end = ReadCounters();
    // The threads' own stacks and records may allocate too; everything must come back.
    const AllocationCounters d = Delta(end, start);
    EXPECT_EQ(d.allocationCount, d.freeCount);
    EXPECT_EQ(d.bytesAllocated, d.bytesFreed);
    EXPECT_GE(d.allocationCount, 4u * 2u);
    EXPECT_TRUE(sane);
    EXPECT_LT(end.peakLiveBytes, kSane);
    EXPECT_LT(end.liveAllocationsAtPeak, kSane);
}

}  // namespace
}  // namespace Kesh::Memory
