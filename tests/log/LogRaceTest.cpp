#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "log/LogApi.h"
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

// All threads start together so that their critical steps overlap as often as possible.
class StartLine {
public:
    explicit StartLine(int threads) : waiting_(threads) {}
    void Arrive() {
        waiting_.fetch_sub(1);
        while (waiting_.load() > 0) {
            std::this_thread::yield();
        }
    }

private:
    std::atomic<int> waiting_;
};

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

}  // namespace
}  // namespace Kesh::Testing
