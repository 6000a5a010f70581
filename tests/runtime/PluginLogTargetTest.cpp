#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "log/Log.h"
#include "log/LogApi.h"
#include "runtime/PluginLogInstaller.h"
#include "runtime/PluginLogTarget.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

// A host table whose only live entry is the log.
struct LoggingHost {
    HostApi table{};
    std::vector<std::pair<int, std::string>> lines;

    LoggingHost() {
        table.logMessage = [](HostApi* self, std::int32_t level, const char* message) {
            reinterpret_cast<LoggingHost*>(self)->lines.emplace_back(level, message);
        };
    }
};

TEST_F(LogTest, PluginLogTargetSendsBareMessagesToTheHost) {
    LoggingHost host;
    std::unique_ptr<PluginLogTarget> target;
    const LogApi& api = GetLogApi();
    // Whatever the filter was, the plugin's one is set.
    api.setLevel(3);
    api.setExcludedMask(0);
    testing::internal::CaptureStderr();
    ASSERT_TRUE(InstallPluginLogTarget(&host.table, target));

    EXPECT_EQ(api.getLevel(), 0);
    EXPECT_EQ(api.getExcludedMask(), 4u);
    EXPECT_EQ(api.findTarget("PluginLogTarget"), target->Interface());
    EXPECT_EQ(api.findTarget("StdErrLogTarget"), nullptr);
    EXPECT_EQ(api.findTarget("DebuggerConsoleLogTarget"), nullptr);

    Log(0, 0, "level %d reaches the host", 0);
    Log(2, 1, "error");
    Log(3, 4, "extra is excluded");
    EXPECT_EQ(host.lines, (std::vector<std::pair<int, std::string>>{{0, "level 0 reaches the host"}, {2, "error"}}));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    // A second plugin object of the library finds the target and changes nothing.
    LoggingHost secondHost;
    std::unique_ptr<PluginLogTarget> secondTarget;
    EXPECT_FALSE(InstallPluginLogTarget(&secondHost.table, secondTarget));
    EXPECT_EQ(secondTarget, nullptr);
    Log(1, 2, "from the second object");
    EXPECT_EQ(host.lines.back().second, "from the second object");
    EXPECT_TRUE(secondHost.lines.empty());

    // Once the owner destroys its target, the next installation takes over.
    target.reset();
    EXPECT_TRUE(InstallPluginLogTarget(&secondHost.table, secondTarget));
    Log(1, 2, "to the second host");
    EXPECT_EQ(secondHost.lines.size(), 1u);
}

// A target without a host, or with a host table without the log entry, writes nowhere
// and does not fail.
TEST(PluginLogTarget, WithoutAHostLogEntryWritesNothing) {
    const LogRecord record{{2026, 1, 2, 3, 4, 5, 6}, 2, 1, "nowhere"};
    HostApi table{};
    for (HostApi* host : {static_cast<HostApi*>(nullptr), &table}) {
        PluginLogTarget target(host);
        EXPECT_TRUE(target.Write(record));
    }
}

}  // namespace
}  // namespace Kesh::Testing
