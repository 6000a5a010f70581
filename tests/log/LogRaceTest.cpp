#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "log/LogApi.h"
#include "platform/Allocator.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

// Runs work on its own thread and waits a bounded time for it: a deadlock must fail
// the suite, not hang it. The locks a deadlock holds can never be released, so the
// process ends here instead of in a teardown that would hang as well.
void FinishesWithin(std::chrono::seconds limit, std::function<void()> work) {
    std::packaged_task<void()> task(std::move(work));
    std::future<void> done = task.get_future();
    std::thread runner(std::move(task));
    if (done.wait_for(limit) != std::future_status::ready) {
        ADD_FAILURE() << "threads did not finish within " << limit.count() << " s: deadlock";
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(1);
    }
    runner.join();
    done.get();
}

TEST_F(LogTest, BuiltInTargetWrittenDirectlyWhileAnotherThreadLogs) {
    // The debugger target is attached at creation and accepts group 1; its line needs
    // the executable name, which lives in the manager.
    LogTargetInterface* debugger = LogManager::DebuggerTarget();
    LogManager::StdErrTarget()->detach(LogManager::StdErrTarget());
    ASSERT_TRUE(debugger->isAttached(debugger));
    FinishesWithin(std::chrono::seconds(30), [debugger] {
        // A fixed time rather than a count of rounds, so that slow sanitizer builds
        // overlap the two paths as often as fast ones.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        StartLine start(2);
        std::thread writer([&] {
            start.Arrive();
            const LogRecord record{{2026, 1, 2, 3, 4, 5, 6}, 2, 1, "written directly"};
            while (std::chrono::steady_clock::now() < end) {
                debugger->write(debugger, &record);
            }
        });
        start.Arrive();
        for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
            Log(2, 1, "logged %d", i);
        }
        writer.join();
    });
}

// Whether the flag and the list can disagree depends on two threads' steps truly
// overlapping; the rounds make that likely on more than one core, and the thread
// sanitizer run watches the same steps.
TEST_F(LogTest, ConcurrentConfigureKeepsFlagAndListInStep) {
    DetachConsoles();
    RecordingTarget target;
    for (int round = 0; round < 100; ++round) {
        StartLine start(2);
        auto configure = [&] {
            start.Arrive();
            for (int i = 0; i < 200; ++i) {
                Configure(target, 0, 0, 0, "#M");
            }
        };
        std::thread other(configure);
        configure();
        other.join();
        ASSERT_TRUE(target.IsAttached());
        ASSERT_EQ(LogManager::FindTarget("RecordingTarget"), target.Interface()) << "round " << round;
    }
    target.messages.clear();
    Log(3, 0, "reaches the target");
    EXPECT_EQ(target.messages, (std::vector<std::string>{"reaches the target"}));
}

// Writes every line character by character, so lines of different threads would mix
// if dispatches were not serialised.
class SlowTarget : public LogTarget {
public:
    const char* Name() const override { return "SlowTarget"; }
    bool Write(const LogRecord& record) override {
        for (const char* p = record.message; *p != '\0'; ++p) {
            text.push_back(*p);
            std::this_thread::yield();
        }
        text.push_back('\n');
        return true;
    }
    std::string text;
};

TEST(LogConcurrency, ThreadsWriteWholeLinesAndCountersBalance) {
    const Memory::AllocationCounters before = Memory::ReadCounters();
    constexpr int kThreads = 4;
    constexpr int kLinesPerThread = 200;
    std::string collected;
    {
        LogManager::AddReference();
        LogManager::ReleaseReference();
        LogManager::AddReference();
        for (LogTargetInterface* console : {LogManager::StdErrTarget(), LogManager::DebuggerTarget()}) {
            console->detach(console);
        }
        SlowTarget target;
        Configure(target, 0, 0, 0, "#M");
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < kLinesPerThread; ++i) {
                    Log(1, 2, "thread %d line %d of the concurrency test", t, i);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        collected.swap(target.text);
        target.Detach();
        LogManager::ReleaseReference();
    }
    EXPECT_FALSE(LogManager::Exists());

    // Each line whole, and each thread's lines in its own order.
    int lines = 0;
    {
        std::map<int, int> nextLine;  // freed before the counters are read
        for (std::size_t start = 0, end; start < collected.size(); start = end + 1, ++lines) {
            end = collected.find('\n', start);
            ASSERT_NE(end, std::string::npos);
            int thread = -1;
            int line = -1;
            const std::string text = collected.substr(start, end - start);
            ASSERT_EQ(std::sscanf(text.c_str(), "thread %d line %d", &thread, &line), 2) << text;
            ASSERT_EQ(text, "thread " + std::to_string(thread) + " line " + std::to_string(nextLine[thread]++) +
                                " of the concurrency test");
        }
    }
    EXPECT_EQ(lines, kThreads * kLinesPerThread);

    std::string().swap(collected);  // give the buffer back before counting
    const Memory::AllocationCounters after = Memory::ReadCounters();
    EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount);
    EXPECT_EQ(after.bytesAllocated - before.bytesAllocated, after.bytesFreed - before.bytesFreed);
}

}  // namespace
}  // namespace Kesh::Testing
