#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventTracing.h"
#include "platform/Lock.h"
#include "platform/Process.h"
#include "platform/VirtualMemory.h"

namespace Kesh::Platform {
namespace {

TEST(VirtualMemory, RegionsAreAlignedWritableAndReleasedWithTheCountBalanced) {
    const std::size_t live = LiveRegionCount();
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
    EXPECT_EQ(LiveRegionCount(), live + 4);

    // An address inside a region is not a region: nothing is released, nothing counted.
    auto* inside = static_cast<unsigned char*>(regions[1]) + 4096;
    ReleaseRegion(inside);
    ReleaseRegion(nullptr);
    EXPECT_EQ(LiveRegionCount(), live + 4);
    inside[0] = 7;  // still mapped
    EXPECT_EQ(inside[0], 7);

    for (void* region : regions) ReleaseRegion(region);
    EXPECT_EQ(LiveRegionCount(), live);
}

TEST(Clock, CounterResolvesWellBelowAMillisecondAndLocalTimeIsInRange) {
    // Log lines carry milliseconds of the counter: a tick-count clock (10 to 16 ms
    // steps) would make them meaningless.
    const std::int64_t frequency = PerformanceCounterFrequency();
    EXPECT_GE(frequency, 1000000);
    const std::int64_t first = ReadPerformanceCounter();
    std::int64_t next = first;
    for (int spins = 0; next == first && spins < 100000000; ++spins) next = ReadPerformanceCounter();
    ASSERT_GT(next, first);
    EXPECT_LT(static_cast<double>(next - first) / static_cast<double>(frequency), 0.001);

    const LocalTime now = CurrentLocalTime();
    // The same calendar date as the C library's (a test run at midnight may see two).
    const std::time_t seconds = std::time(nullptr);
    const std::tm calendar = *std::localtime(&seconds);
    EXPECT_EQ(now.year * 10000 + now.month * 100 + now.day,
              (calendar.tm_year + 1900) * 10000 + (calendar.tm_mon + 1) * 100 + calendar.tm_mday);
    const struct {
        const char* name;
        int value, low, high;
    } fields[] = {{"year", now.year, 2020, 9999}, {"month", now.month, 1, 12},   {"day", now.day, 1, 31},
                  {"hour", now.hour, 0, 23},      {"minute", now.minute, 0, 59}, {"second", now.second, 0, 60},
                  {"millisecond", now.millisecond, 0, 999}};
    for (const auto& f : fields) EXPECT_TRUE(f.value >= f.low && f.value <= f.high) << f.name << " " << f.value;
}

TEST(Clock, CounterNeverGoesBackOnAnyThread) {
    std::atomic<std::int64_t> latest{ReadPerformanceCounter()};
    std::atomic<int> backwards{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            std::int64_t previous = ReadPerformanceCounter();
            for (int i = 0; i < 50000; ++i) {
                const std::int64_t now = ReadPerformanceCounter();
                if (now < previous) backwards.fetch_add(1);
                previous = now;
            }
            std::int64_t seen = latest.load();
            while (previous > seen && !latest.compare_exchange_weak(seen, previous)) {
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(backwards.load(), 0);
    // What any thread read before the join is not later than what this thread reads now.
    EXPECT_GE(ReadPerformanceCounter(), latest.load());
}

TEST(Clock, CounterSecondsAgreeWithTheSteadyClock) {
    // Bracketed both ways, so a loaded machine cannot make a right frequency fail:
    // counter time inside steady time can only be shorter, outside it only longer.
    using Steady = std::chrono::steady_clock;
    const double frequency = static_cast<double>(PerformanceCounterFrequency());
    const auto outerStart = Steady::now();
    const std::int64_t counterStart = ReadPerformanceCounter();
    const auto innerStart = Steady::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto innerEnd = Steady::now();
    const std::int64_t counterEnd = ReadPerformanceCounter();
    const auto outerEnd = Steady::now();
    const double counted = static_cast<double>(counterEnd - counterStart) / frequency;
    const double inner = std::chrono::duration<double>(innerEnd - innerStart).count();
    const double outer = std::chrono::duration<double>(outerEnd - outerStart).count();
    const double slack = 0.0005;  // the two clocks' own granularity
    EXPECT_GE(counted, inner - slack);
    EXPECT_LE(counted, outer + slack);
}

TEST(Process, ThreadIdsDifferAndTheExecutableIsNamed) {
    const std::uintptr_t mine = CurrentThreadId();
    std::uintptr_t other = mine;
    std::thread([&] { other = CurrentThreadId(); }).join();
    EXPECT_NE(mine, 0u);
    EXPECT_NE(other, mine);
    EXPECT_EQ(CurrentThreadId(), mine);

    const std::string path = ExecutablePath();
    EXPECT_NE(path.find("pzl_platform_tests"), std::string::npos) << path;
    // The executable name of log lines is what follows the last separator.
    EXPECT_NE(path.rfind(kPathSeparator), std::string::npos) << path;
    WriteDebuggerOutput("debugger output must never fail\n");
}

// A finished thread's own handles may close a moment after it was joined, so counts
// are compared once they have stopped moving (a leak does not go away by waiting).
std::size_t SettledHandleCount() {
    std::size_t count = OpenHandleCount();
    for (int wait = 0; wait < 100; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::size_t again = OpenHandleCount();
        if (again == count) break;
        count = again;
    }
    return count;
}

// The count once it is back at `expected`, or where it still is after a second.
std::size_t HandleCountBackAt(std::size_t expected) {
    std::size_t count = OpenHandleCount();
    for (int wait = 0; wait < 100 && count != expected; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        count = OpenHandleCount();
    }
    return count;
}

// One thread contends for the lock in every round. It lives across all rounds, so the
// count never sees a thread's own handles (or the threading library's caches) come
// and go: what the rounds leave behind is what the platform calls left.
class Contender {
public:
    Contender() : thread_([this] { Run(); }) {}
    ~Contender() {
        stop_ = true;
        thread_.join();
    }
    // The calling thread holds the lock while the contender blocks on it.
    void ContendFor(Lock& lock) {
        lock.Enter();
        lock_ = &lock;
        requested_.fetch_add(1);
        while (!waiting_.exchange(false)) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        lock.Leave();
        while (done_.load() != requested_.load()) std::this_thread::yield();
    }

private:
    void Run() {
        int served = 0;
        while (!stop_) {
            if (requested_.load() == served) {
                std::this_thread::yield();
                continue;
            }
            waiting_ = true;
            {
                LockGuard guard(*lock_);
            }
            // Only once the lock is left: the caller destroys it when it sees this.
            done_.store(++served);
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<bool> waiting_{false};
    std::atomic<int> requested_{0};
    std::atomic<int> done_{0};
    Lock* lock_ = nullptr;
    std::thread thread_;
};

TEST(Process, PlatformCallsGiveBackEveryHandleTheyOpen) {
    Contender contender;
    const auto useEverything = [&] {
        {
            // A contended lock is where a system may attach a kernel object.
            Lock lock;
            contender.ContendFor(lock);
        }
        void* region = ReserveRegion();
        ReleaseRegion(region);
        EXPECT_FALSE(ExecutablePath().empty());
        LoadEventTracing();
        CurrentThreadId();
        CurrentLocalTime();
        ReadPerformanceCounter();
        WriteDebuggerOutput("");
    };
    // The first round may keep what the system opens once per process (the tracing
    // library, the time zone, the debugger channel); later rounds must add nothing.
    useEverything();
    const std::size_t before = SettledHandleCount();
    ASSERT_GT(before, 0u);
    // The count must see a handle come and go, or the check below could not fail.
    std::FILE* file = std::fopen(ExecutablePath().c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(OpenHandleCount(), before + 1);
    std::fclose(file);
    EXPECT_EQ(OpenHandleCount(), before);

    for (int round = 0; round < 50; ++round) useEverything();
    EXPECT_EQ(HandleCountBackAt(before), before);
}

bool TryEnterElsewhere(Lock& lock) {
    bool entered = false;
    std::thread([&] {
        entered = lock.TryEnter();
        if (entered) lock.Leave();
    }).join();
    return entered;
}

TEST(Lock, IsRecursiveAndFreeOnlyAfterTheLastLeave) {
    Lock lock;
    EXPECT_TRUE(TryEnterElsewhere(lock));
    lock.Enter();
    lock.Enter();  // the owner may enter again
    EXPECT_TRUE(lock.TryEnter());
    EXPECT_FALSE(TryEnterElsewhere(lock));
    lock.Leave();
    lock.Leave();
    EXPECT_FALSE(TryEnterElsewhere(lock));  // entered three times, left twice
    lock.Leave();
    EXPECT_TRUE(TryEnterElsewhere(lock));

    // A failed call under the guard leaves the lock free.
    const auto failingCall = [&] {
        LockGuard outer(lock);
        LockGuard inner(lock);
        throw std::runtime_error("the call failed");
    };
    EXPECT_THROW(failingCall(), std::runtime_error);
    EXPECT_TRUE(TryEnterElsewhere(lock));
}

TEST(Lock, ExcludesOtherThreads) {
    Lock lock;
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
