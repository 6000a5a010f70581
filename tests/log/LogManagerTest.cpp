#include <gtest/gtest.h>

#include <cstring>

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "log/LogApi.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

TEST_F(LogTest, FreshManagerFiltersByLevelAndExcludedGroup) {
    DetachConsoles();
    RecordingTarget target;
    Configure(target, 0, 0, 0, "#M");

    Log(0, 0, "below the threshold of 1");
    Log(1, kCategoryExtra | kCategoryGeneral, "excluded group");
    Log(1, kCategoryGeneral, "kept %d", 1);
    Log(3, 0, "kept %s", "two");
    EXPECT_EQ(target.messages, (std::vector<std::string>{"kept 1", "kept two"}));

    LogManager::SetLevel(0);
    LogManager::SetExcludedMask(0);
    Log(0, kCategoryExtra, "now accepted");
    LogManager::Mute();
    Log(3, 0, "muted");
    LogManager::Unmute();
    EXPECT_EQ(target.messages.back(), "now accepted");
    EXPECT_EQ(target.messages.size(), 3u);
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
    LogTargetInterface* stdOut = LogManager::StdOutTarget();
    LogTargetInterface* debugger = LogManager::DebuggerTarget();
    EXPECT_FALSE(stdOut->isAttached(stdOut));
    EXPECT_EQ(stdOut->getIncludedMask(stdOut), 2u);
    EXPECT_EQ(stdOut->getExcludedMask(stdOut), 1u);
    EXPECT_EQ(LogManager::FindTarget("StdErrLogTarget"), stdErr);
    EXPECT_EQ(LogManager::FindTarget("StdOutLogTarget"), nullptr);
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
    api.setLevel(3);
    EXPECT_EQ(api.getLevel(), 3);
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
    EXPECT_EQ(AddCategoryGroup(nullptr), 0u);
}

// Fills the process-wide table, so it stays the last group test of this binary.
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
}

}  // namespace
}  // namespace Kesh::Testing
