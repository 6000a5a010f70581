// What only Windows can show: the platform layer as the system itself sees it.
#if defined(_WIN32)

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "platform/Allocator.h"
#include "platform/EventTracing.h"
#include "platform/Heap.h"
#include "platform/Process.h"
#include "platform/VirtualMemory.h"

namespace Kesh::Platform {
namespace {

MEMORY_BASIC_INFORMATION Query(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    EXPECT_EQ(VirtualQuery(address, &info, sizeof info), sizeof info);
    return info;
}

TEST(WindowsVirtualMemory, RegionIsOneCommittedReadWriteAllocationUntilReleased) {
    void* region = ReserveRegion();
    ASSERT_NE(region, nullptr);
    MEMORY_BASIC_INFORMATION info = Query(region);
    EXPECT_EQ(info.AllocationBase, region);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_READWRITE));
    EXPECT_EQ(info.RegionSize, kRegionSize);

    // The system refuses to release from inside the allocation; the region stays whole.
    const std::size_t live = LiveRegionCount();
    ReleaseRegion(static_cast<char*>(region) + 4096);
    EXPECT_EQ(LiveRegionCount(), live);
    EXPECT_EQ(Query(region).State, static_cast<DWORD>(MEM_COMMIT));

    ReleaseRegion(region);
    EXPECT_EQ(LiveRegionCount(), live - 1);
    EXPECT_EQ(Query(region).State, static_cast<DWORD>(MEM_FREE));
}

TEST(WindowsHeap, BlocksComeFromTheProcessHeapAndKeepTheirContents) {
    const HANDLE heap = GetProcessHeap();
    void* empty = HeapAllocate(0);
    ASSERT_NE(empty, nullptr);  // a zero-byte request still gives a block to free
    EXPECT_TRUE(HeapValidate(heap, 0, empty));
    HeapFree(empty);

    auto* block = static_cast<char*>(HeapAllocate(100));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(HeapValidate(heap, 0, block));
    EXPECT_EQ(HeapBlockSize(block), ::HeapSize(heap, 0, block));
    EXPECT_GE(HeapBlockSize(block), 100u);
    std::memcpy(block, "kept across moves", 18);

    auto* grown = static_cast<char*>(HeapReallocate(block, 100000));
    ASSERT_NE(grown, nullptr);
    EXPECT_STREQ(grown, "kept across moves");
    EXPECT_GE(HeapBlockSize(grown), 100000u);
    EXPECT_TRUE(HeapValidate(heap, 0, grown));

    // A request the heap cannot meet fails and leaves the block where it was.
    EXPECT_EQ(HeapReallocate(grown, SIZE_MAX - 65536), nullptr);
    EXPECT_STREQ(grown, "kept across moves");
    EXPECT_TRUE(HeapValidate(heap, 0, grown));
    HeapFree(grown);
    HeapFree(nullptr);
    EXPECT_EQ(HeapBlockSize(nullptr), 0u);
}

TEST(WindowsHeap, AFailedReallocationIsNotCounted) {
    void* block = Memory::Allocate(64);
    ASSERT_NE(block, nullptr);
    const Memory::AllocationCounters before = Memory::ReadCounters();
    EXPECT_EQ(Memory::Reallocate(block, SIZE_MAX - 65536), nullptr);
    const Memory::AllocationCounters after = Memory::ReadCounters();
    EXPECT_EQ(after.allocationCount, before.allocationCount);
    EXPECT_EQ(after.freeCount, before.freeCount);
    EXPECT_EQ(after.bytesFreed, before.bytesFreed);
    Memory::Free(block);  // still ours, still counted once
    EXPECT_EQ(Memory::ReadCounters().freeCount, before.freeCount + 1);
}

struct Enablement {
    int calls = 0;
};

void PZL_STDCALL RecordEnablement(const TraceGuid*, std::uint32_t, std::uint8_t, std::uint64_t, std::uint64_t, void*,
                                  void* context) {
    ++static_cast<Enablement*>(context)->calls;
}

TEST(WindowsEventTracing, FoundAtRunTimeAndUsableThroughTheLookedUpEntries) {
    const EventTracingApi api = LoadEventTracing();
    ASSERT_NE(api.eventRegister, nullptr);
    ASSERT_NE(api.eventWrite, nullptr);
    ASSERT_NE(api.eventUnregister, nullptr);

    const std::size_t handles = OpenHandleCount();
    const TraceGuid provider = {0x1c0ffee5, 0x2b3d, 0x4f51, {0x8a, 0x01, 0x77, 0x10, 0x20, 0x30, 0x40, 0x50}};
    const TraceEventDescriptor event = {7, 0, 0, 4, 0, 1, 1};
    for (int round = 0; round < 20; ++round) {
        Enablement enablement;
        TraceHandle handle = 0;
        ASSERT_EQ(api.eventRegister(&provider, &RecordEnablement, &enablement, &handle), 0u);
        EXPECT_NE(handle, 0u);
        std::uint32_t number = 42;
        const char text[] = "Main thread";
        TraceDataDescriptor data[2] = {{reinterpret_cast<std::uintptr_t>(&number), sizeof number, 0},
                                       {reinterpret_cast<std::uintptr_t>(text), sizeof text, 0}};
        EXPECT_EQ(api.eventWrite(handle, &event, 2, data), 0u);
        EXPECT_EQ(api.eventUnregister(handle), 0u);
        // No consumer traces this provider, so nobody enables it.
        EXPECT_EQ(enablement.calls, 0);
    }
    EXPECT_EQ(OpenHandleCount(), handles);
}

TEST(WindowsProcess, ExecutablePathIsAWindowsPathAndTheThreadIdTheSystems) {
    const std::string path = ExecutablePath();
    const std::string name = "\\pzl_platform_tests.exe";
    ASSERT_GT(path.size(), name.size());
    EXPECT_EQ(path.substr(path.size() - name.size()), name) << path;
    EXPECT_EQ(path.find('/'), std::string::npos) << path;
    EXPECT_EQ(CurrentThreadId(), static_cast<std::uintptr_t>(GetCurrentThreadId()));
}

}  // namespace
}  // namespace Kesh::Platform

#endif
