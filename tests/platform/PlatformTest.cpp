#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/Clock.h"
#include "platform/Lock.h"
#include "platform/Process.h"
#include "platform/VirtualMemory.h"

namespace Kesh::Platform {
namespace {

TEST(VirtualMemory, RegionsAreAlignedWritableAndReleasable) {
    void* regions[4];
    for (auto& region : regions) {
        region = ReserveRegion();
        ASSERT_NE(region, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(region) % kRegionSize, 0u);
        // Committed: the first and the last byte can be written at once.
        auto* bytes = static_cast<unsigned char*>(region);
        bytes[0] = 1;
        bytes[kRegionSize - 1] = 2;
        EXPECT_EQ(bytes[0] + bytes[kRegionSize - 1], 3);
    }
    for (void* region : regions) ReleaseRegion(region);
    ReleaseRegion(nullptr);
}

TEST(Clock, LocalTimeFieldsAreInRangeAndTheCounterMoves) {
    const LocalTime now = CurrentLocalTime();
    EXPECT_GE(now.year, 2020);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12);
    EXPECT_TRUE(now.day >= 1 && now.day <= 31);
    EXPECT_TRUE(now.hour >= 0 && now.hour <= 23);
    EXPECT_TRUE(now.minute >= 0 && now.minute <= 59);
    EXPECT_TRUE(now.second >= 0 && now.second <= 60);
    EXPECT_TRUE(now.millisecond >= 0 && now.millisecond <= 999);

    EXPECT_GT(PerformanceCounterFrequency(), 0);
    const std::int64_t first = ReadPerformanceCounter();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_GT(ReadPerformanceCounter(), first);
}

TEST(Process, ThreadIdsDifferAndTheExecutableIsNamed) {
    const std::uintptr_t mine = CurrentThreadId();
    std::uintptr_t other = mine;
    std::thread([&] { other = CurrentThreadId(); }).join();
    EXPECT_NE(mine, 0u);
    EXPECT_NE(other, mine);

    const std::string path = ExecutablePath();
    EXPECT_NE(path.find("pzl_platform_tests"), std::string::npos) << path;
    WriteDebuggerOutput("debugger output must never fail\n");
}

TEST(Lock, IsRecursiveAndExcludesOtherThreads) {
    Lock lock;
    lock.Enter();
    lock.Enter();  // a critical section may be entered again by its owner
    lock.Leave();
    lock.Leave();

    long counter = 0;
    std::thread threads[4];
    for (auto& thread : threads) {
        thread = std::thread([&] {
            for (int i = 0; i < 20000; ++i) {
                LockGuard guard(lock);
                counter = counter + 1;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 4 * 20000);
}

}  // namespace
}  // namespace Kesh::Platform
