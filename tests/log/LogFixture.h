#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "log/LineFormat.h"
#include "log/LogManager.h"
#include "log/LogTarget.h"

namespace Kesh::Testing {

// Keeps every record it is given, and the line its format makes of it.
class RecordingTarget : public LogTarget {
public:
    const char* Name() const override { return "RecordingTarget"; }
    bool Write(const LogRecord& record) override {
        char line[4096];
        FormatLine(record, Format(), "test.exe", line, sizeof line);
        lines.emplace_back(line);
        messages.emplace_back(record.message);
        // Copies: the record's fields are packed.
        times.push_back(Platform::LocalTime(record.time));
        levels.push_back(int{record.level});
        masks.push_back(std::uint64_t{record.categoryMask});
        return true;
    }

    std::vector<std::string> lines;
    std::vector<std::string> messages;
    std::vector<Platform::LocalTime> times;
    std::vector<int> levels;
    std::vector<std::uint64_t> masks;
};

// Every test starts with a fresh manager holding one reference and ends by
// releasing it, which tears the manager down.
class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogManager::AddReference();  // adopts a manager an earlier log call made ...
        LogManager::ReleaseReference();  // ... so that this tears it down
        LogManager::AddReference();
    }
    void TearDown() override { LogManager::ReleaseReference(); }

    // Keeps the consoles quiet so the test's own target is the only listener.
    static void DetachConsoles() {
        for (LogTargetInterface* console :
             {LogManager::StdErrTarget(), LogManager::StdOutTarget(), LogManager::DebuggerTarget()}) {
            console->detach(console);
        }
    }
};

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

}  // namespace Kesh::Testing
