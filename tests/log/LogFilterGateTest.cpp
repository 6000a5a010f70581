// Log calls refuse filtered messages before taking the manager's lock, from a copy of
// the manager's filter: that copy must follow every change of the filter and of the
// manager itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "log/Log.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

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

}  // namespace
}  // namespace Kesh::Testing
