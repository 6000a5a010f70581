#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "log/Log.h"
#include "platform/Allocator.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

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

    int lines = 0;
    {
    std::map<int, int> nextLine;
    std::size_t start = 0;
    while (start < collected.size()) {
        const std::size_t end = collected.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        int thread = -1;
        int line = -1;
        const std::string text = collected.substr(start, end - start);
        ASSERT_EQ(std::sscanf(text.c_str(), "thread %d line %d of the concurrency test", &thread, &line), 2) << text;
        ASSERT_EQ(text, "thread " + std::to_string(thread) + " line " + std::to_string(line) +
                            " of the concurrency test");
        EXPECT_EQ(line, nextLine[thread]++);  // each thread's lines in its own order
        ++lines;
        start = end + 1;
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
