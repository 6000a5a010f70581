#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "log/LogApi.h"
#include "log/TimeFormat.h"
#include "platform/Process.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

// Log calls refuse filtered messages before taking the manager's lock, from a copy of
// the manager's filter: that copy must follow every change of the filter and of the
// manager itself.
constexpr std::uint64_t kFourth = 4;  // excluded by a fresh manager

TEST_F(LogTest, EarlyFilterFollowsLevelMaskMuteAndANewManager) {
    DetachConsoles();
    {
        RecordingTarget target;
        Configure(target, 0, 0, 0, "#M");
        LogManager::SetLevel(5);
        LogManager::SetExcludedMask(0x30);
        Log(4, 0, "below 5");
        Log(5, 0x10, "excluded 0x10");
        Log(5, kFourth, "level 5");
        LogManager::Mute();
        Log(9, 0, "muted");
        LogManager::Unmute();
        Log(5, 0, "unmuted");
        EXPECT_EQ(target.messages, (std::vector<std::string>{"level 5", "unmuted"}));
    }

    // With no manager, a log call makes one (the refused level of the last one must not
    // stop it), and the new manager starts from level 1 and mask 4 again.
    LogManager::ReleaseReference();
    ASSERT_FALSE(LogManager::Exists());
    Log(1, 0x10, "early filter test: a log call with no manager makes one");
    EXPECT_TRUE(LogManager::Exists());
    LogManager::AddReference();
    DetachConsoles();
    RecordingTarget target;
    Configure(target, 0, 0, 0, "#M");
    Log(1, 0x10, "level 1, mask 0x10");
    Log(1, kFourth, "excluded 4");
    Log(0, 0, "below 1");
    EXPECT_EQ(target.messages, (std::vector<std::string>{"level 1, mask 0x10"}));
}

TEST_F(LogTest, TargetFiltersAndZeroMask) {
    DetachConsoles();
    RecordingTarget onlyGeneral;
    Configure(onlyGeneral, 1, kCategoryGeneral, 0, "#M");
    RecordingTarget errorsOnly;
    Configure(errorsOnly, 2, 0, kCategoryDebug, "#M");

    Log(1, 0, "zero mask passes category filters");
    Log(1, kCategoryDebug, "debug");
    Log(2, kCategoryDebug, "debug error");
    Log(2, kCategoryGeneral, "general error");

    EXPECT_EQ(onlyGeneral.messages,
              (std::vector<std::string>{"zero mask passes category filters", "general error"}));
    EXPECT_EQ(errorsOnly.messages, (std::vector<std::string>{"general error"}));
    EXPECT_EQ(errorsOnly.levels, (std::vector<int>{2}));
    EXPECT_EQ(errorsOnly.masks, (std::vector<std::uint64_t>{kCategoryGeneral}));
}

TEST_F(LogTest, BuiltInTargetsAndTheirFilters) {
    LogTargetInterface* stdErr = LogManager::StdErrTarget();
    LogTargetInterface* debugger = LogManager::DebuggerTarget();
    EXPECT_EQ(LogManager::FindTarget("StdErrLogTarget"), stdErr);
    EXPECT_EQ(LogManager::FindTarget("StdOutLogTarget"), nullptr);  // not attached
    EXPECT_EQ(LogManager::FindTarget("DebuggerConsoleLogTarget"), debugger);

    // An error in group DBG reaches standard error; one in group GEN does not.
    testing::internal::CaptureStderr();
    Log(2, 1, "to the console");
    Log(2, 2, "not to the console");
    const std::string written = testing::internal::GetCapturedStderr();
    const std::string expectedEnd = " ERROR| to the console\n";
    ASSERT_GE(written.size(), expectedEnd.size());
    EXPECT_EQ(written.substr(written.size() - expectedEnd.size()), expectedEnd);
    EXPECT_EQ(written.find("not to the console"), std::string::npos);
    EXPECT_NE(written.find("): "), std::string::npos);
}

TEST_F(LogTest, TeardownDetachesEverythingAndLaterCallsStartAFreshManager) {
    RecordingTarget first;
    RecordingTarget second;
    first.Attach();
    second.Attach();
    EXPECT_EQ(LogManager::FindTarget("RecordingTarget"), first.Interface());

    LogManager::ReleaseReference();  // the fixture's reference was the only one
    EXPECT_FALSE(LogManager::Exists());
    EXPECT_FALSE(first.IsAttached());
    EXPECT_FALSE(second.IsAttached());

    // Releasing without a manager, or more often than referenced, does nothing.
    LogManager::ReleaseReference();
    Log(3, 1u << 3, "creates a fresh manager");
    EXPECT_TRUE(LogManager::Exists());
    EXPECT_TRUE(first.messages.empty());
    LogManager::AddReference();  // for the fixture's TearDown
}

TEST_F(LogTest, ApiTableForwardsToTheManager) {
    const LogApi& api = GetLogApi();
    EXPECT_EQ(api.version(), 1u);
    api.setExcludedMask(0x1'0000'0000ull);
    EXPECT_EQ(api.getExcludedMask(), 0x1'0000'0000ull);
    EXPECT_STREQ(api.levelText(1), "  WARN");
    EXPECT_STREQ(api.levelText(4), "");
    EXPECT_STREQ(api.levelText(-1), "");
    EXPECT_STRNE(api.executableName(), "");

    DetachConsoles();
    api.setExcludedMask(0);
    RecordingTarget target;
    Configure(target, 0, 0, 0x1'0000'0000ull, "#M");
    // The mask travels as two halves, low first: this one is bit 32, excluded above.
    api.log(3, 0, 1, "high half %s", "excluded");
    api.log(3, 2, 0, "low half %d", 7);
    EXPECT_EQ(target.messages, (std::vector<std::string>{"low half 7"}));
    EXPECT_EQ(target.masks, (std::vector<std::uint64_t>{2}));
}

TEST(CategoryGroups, BuiltInsLocalGroupAndGrowth) {
    EXPECT_EQ(AddCategoryGroup("DBG"), 1u);
    EXPECT_EQ(AddCategoryGroup("TST"), 0x80u);
    EXPECT_EQ(AddCategoryGroup("LOC"), 0x100u);
    EXPECT_EQ(AddCategoryGroup("LOC"), 0x100u);
    // Only the first three characters count.
    EXPECT_EQ(AddCategoryGroup("GENERAL"), 2u);

    const std::uint64_t added = AddCategoryGroup("QQA");
    EXPECT_GT(added, 0x100u);
    EXPECT_EQ(AddCategoryGroup("QQA"), added);

    char names[64];
    CategoryGroupNames(3, names, sizeof names);
    EXPECT_STREQ(names, "DBG;GEN");
    CategoryGroupNames(0, names, sizeof names);
    EXPECT_STREQ(names, "");
    CategoryGroupNames(0x104 | added, names, sizeof names);
    EXPECT_STREQ(names, "XTR;LOC;QQA");
    // Bounded: stops with fewer than two bytes left, always terminated.
    CategoryGroupNames(3, names, 5);
    EXPECT_STREQ(names, "DBG;");
}

TEST(CategoryGroups, OneNameGetsOneBitWhateverTheThreads) {
    constexpr int kThreads = 4;
    // Few rounds: every round takes a bit of the process-wide table for good.
    for (int round = 0; round < 12; ++round) {
        const std::string name = "R" + std::string(1, static_cast<char>('a' + round)) + "!";
        std::vector<std::uint64_t> masks(kThreads);
        StartLine start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                start.Arrive();
                masks[t] = AddCategoryGroup(name.c_str());
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_NE(masks[t], 0u) << name;
            EXPECT_EQ(masks[t], masks[0]) << name << " thread " << t;
        }
        char names[16];
        CategoryGroupNames(masks[0], names, sizeof names);
        EXPECT_EQ(names, name);
    }
}

TEST_F(LogTest, EveryEntryTreatsNullPointersAsBadInput) {
    DetachConsoles();
    const LogApi& api = GetLogApi();
    api.attachTarget(nullptr);
    api.detachTarget(nullptr);
    EXPECT_EQ(api.findTarget(nullptr), nullptr);
    EXPECT_EQ(api.addCategoryGroup(nullptr), 0u);
    const LogRecord record{{2026, 1, 2, 3, 4, 5, 6}, 1, 1, "m"};
    const Platform::LocalTime time{2026, 1, 2, 3, 4, 5, 6};
    // A null buffer with a size that claims room: nothing may be written anywhere.
    EXPECT_EQ(api.categoryGroupNames(3, nullptr, 64), 0u);
    EXPECT_EQ(api.formatLine(&record, "#M", nullptr, 64), 0u);
    EXPECT_EQ(api.formatTimestamp(&time, nullptr, 64), 0u);
    EXPECT_EQ(api.formatFileTimestamp(&time, nullptr, 64), 0u);
    char buffer[64] = "untouched";
    EXPECT_EQ(api.formatLine(nullptr, "#M", buffer, sizeof buffer), 0u);
    EXPECT_EQ(api.formatTimestamp(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(api.formatFileTimestamp(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(api.formatLine(&record, nullptr, buffer, sizeof buffer), 1u);  // no format: just the line feed
    api.currentTime(nullptr);
    api.log(3, 0, 0, nullptr);

    // The target table, called with a null table of its own.
    LogTargetInterface* face = LogManager::StdOutTarget();
    face->setLevel(nullptr, 0);
    face->setMasks(nullptr, 1, 2);
    face->attach(nullptr);
    face->detach(nullptr);
    EXPECT_EQ(face->getLevel(nullptr), 0);
    EXPECT_EQ(face->getIncludedMask(nullptr), 0u);
    EXPECT_EQ(face->getExcludedMask(nullptr), 0u);
    EXPECT_EQ(face->name(nullptr), nullptr);
    EXPECT_EQ(face->format(nullptr), nullptr);
    EXPECT_FALSE(face->isAttached(nullptr));
    EXPECT_FALSE(face->write(nullptr, &record));
    EXPECT_FALSE(face->write(face, nullptr));
}

// The table is a fixed binary interface: a caller that holds only the table reaches
// each operation by its position.
TEST_F(LogTest, EntriesSitAtTheirFixedPositions) {
    const LogApi& api = GetLogApi();
    void* const* entries = reinterpret_cast<void* const*>(&api);
    auto entry = [&](std::size_t index) { return entries[index]; };
    EXPECT_EQ(entry(0), reinterpret_cast<void*>(api.version));
    EXPECT_EQ(entry(13), reinterpret_cast<void*>(api.findTarget));
    EXPECT_EQ(entry(17), reinterpret_cast<void*>(api.addCategoryGroup));
    EXPECT_EQ(entry(19), reinterpret_cast<void*>(api.formatLine));
    EXPECT_EQ(entry(25), reinterpret_cast<void*>(api.log));
    // And each position does its own job.
    using GetLevel = std::int32_t (*)();
    using SetLevel = void (*)(std::int32_t);
    using StdOut = LogTargetInterface* (*)();
    using FormatTime = std::size_t (*)(const Platform::LocalTime*, char*, std::size_t);
    reinterpret_cast<SetLevel>(entry(3))(2);
    EXPECT_EQ(reinterpret_cast<GetLevel>(entry(4))(), 2);
    EXPECT_EQ(reinterpret_cast<StdOut>(entry(14))(), LogManager::StdOutTarget());
    EXPECT_EQ(reinterpret_cast<StdOut>(entry(15))(), LogManager::StdErrTarget());
    EXPECT_EQ(reinterpret_cast<StdOut>(entry(16))(), LogManager::DebuggerTarget());
    const Platform::LocalTime time{2026, 1, 2, 3, 4, 5, 6};
    char text[32];
    reinterpret_cast<FormatTime>(entry(23))(&time, text, sizeof text);
    EXPECT_STREQ(text, "2026-01-02T03:04:05.006");
    reinterpret_cast<FormatTime>(entry(24))(&time, text, sizeof text);
    EXPECT_STREQ(text, "2026-01-02T03-04-05");
}

bool NotAfter(const Platform::LocalTime& a, const Platform::LocalTime& b) {
    const auto key = [](const Platform::LocalTime& t) {
        return std::tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
    };
    return key(a) <= key(b);
}

TEST_F(LogTest, RecordCarriesTheTimeOfTheCallAndAMessageCutAt4095) {
    DetachConsoles();
    RecordingTarget target;
    Configure(target, 0, 0, 0, "#D");
    const Platform::LocalTime before = Platform::CurrentLocalTime();
    Log(1, 0, "now");
    const Platform::LocalTime after = Platform::CurrentLocalTime();
    ASSERT_EQ(target.times.size(), 1u);
    EXPECT_TRUE(NotAfter(before, target.times[0]));
    EXPECT_TRUE(NotAfter(target.times[0], after));
    char stamp[32];
    FormatTimestamp(target.times[0], stamp, sizeof stamp);
    EXPECT_EQ(target.lines[0], std::string(stamp) + "\n");

    const std::string longText(5000, 'x');
    Log(1, 0, "%s", longText.c_str());
    EXPECT_EQ(target.messages.back(), std::string(4095, 'x'));
    Log(1, 0, "%s", longText.substr(0, 4095).c_str());
    EXPECT_EQ(target.messages.back().size(), 4095u);
    Log(1, 0, "%s!", longText.substr(0, 4094).c_str());
    EXPECT_EQ(target.messages.back(), longText.substr(0, 4094) + "!");
}

TEST_F(LogTest, ConsoleLineIsBoundedAndEndsInOneLineFeed) {
    LogManager::DebuggerTarget()->detach(LogManager::DebuggerTarget());
    const std::string longText(5000, 'y');
    testing::internal::CaptureStderr();
    Log(2, 1, "%s", longText.c_str());
    Log(2, 1, "short");
    const std::string written = testing::internal::GetCapturedStderr();
    const std::size_t firstEnd = written.find('\n');
    ASSERT_NE(firstEnd, std::string::npos);
    EXPECT_EQ(firstEnd + 1, 4095u);  // a 4096-byte line buffer: 4094 characters, the line feed, the terminator
    EXPECT_EQ(written[firstEnd - 1], 'y');
    const std::string second = written.substr(firstEnd + 1);
    EXPECT_EQ(second.substr(second.size() - 8), "| short\n");
    EXPECT_EQ(second.find('\n'), second.size() - 1);
}

TEST_F(LogTest, ConsoleTargetsStartWithTheirOwnFilters) {
    struct Expected {
        LogTargetInterface* target;
        std::int32_t level;
        std::uint64_t included;
        std::uint64_t excluded;
        const char* format;
        bool attached;
    };
    const Expected table[] = {
        {LogManager::StdErrTarget(), 1, 1, 2, "#E(#T): #L| #M", true},
        {LogManager::StdOutTarget(), 1, 2, 1, "#M", false},
        {LogManager::DebuggerTarget(), 1, 1, 0, "#E(#T): #L| #M", true},
    };
    for (const Expected& expected : table) {
        LogTargetInterface* face = expected.target;
        SCOPED_TRACE(face->name(face));
        EXPECT_EQ(face->getLevel(face), expected.level);
        EXPECT_EQ(face->getIncludedMask(face), expected.included);
        EXPECT_EQ(face->getExcludedMask(face), expected.excluded);
        EXPECT_STREQ(face->format(face), expected.format);
        EXPECT_EQ(face->isAttached(face), expected.attached);
    }
}

TEST(ExecutableName, FileNamePartOfThePath) {
    const std::string sep(1, Platform::kPathSeparator);
    EXPECT_EQ(ExecutableFileName("host.exe"), "host.exe");
    EXPECT_EQ(ExecutableFileName(sep + "a" + sep + "b" + sep + "host.exe"), "host.exe");
    EXPECT_EQ(ExecutableFileName("dir" + sep + "host"), "host");
    EXPECT_EQ(ExecutableFileName("dir" + sep), "");
    // This program's own name, as the manager shows it.
#if defined(_WIN32)
    const char* const ownName = "pzl_log_tests.exe";
#else
    const char* const ownName = "pzl_log_tests";
#endif
    EXPECT_EQ(ExecutableFileName(Platform::ExecutablePath()), ownName);
    LogManager::AddReference();
    EXPECT_STREQ(LogManager::ExecutableName(), ownName);
    LogManager::ReleaseReference();
}

// Fills the process-wide table, so it stays the last group test of this binary; a line
// then shows every group of a full mask.
TEST(CategoryGroups, FullTableRefusesInsteadOfOverflowing) {
    char name[4] = "Z00";
    std::uint64_t last = 0;
    for (int i = 0; i < 80; ++i) {
        name[1] = static_cast<char>('A' + i / 10);
        name[2] = static_cast<char>('0' + i % 10);
        const std::uint64_t mask = AddCategoryGroup(name);
        if (mask == 0) {
            break;
        }
        last = mask;
    }
    EXPECT_EQ(last, 1ull << 63);
    EXPECT_EQ(AddCategoryGroup("ZZZ"), 0u);
    EXPECT_EQ(AddCategoryGroup("LOC"), 0x100u);

    char names[512];
    const std::size_t length = CategoryGroupNames(~0ull, names, sizeof names);
    EXPECT_EQ(length, 64u * 3 + 63);
    const LogRecord record{{2026, 1, 2, 3, 4, 5, 6}, 1, ~0ull, "m"};
    char line[1024];
    FormatLine(record, "#G", "host", line, sizeof line);
    EXPECT_EQ(std::string(line), std::string(names) + "\n");
}

}  // namespace
}  // namespace Kesh::Testing
