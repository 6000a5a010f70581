#include <gtest/gtest.h>

#include "runtime/ApiVersion.h"
#include "runtime/PluginName.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

ApiVersion Version(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
    return ApiVersion{major, minor, patch, "", ""};
}

TEST(ApiVersion, TextAndCompatibility) {
    EXPECT_EQ((ApiVersion{1, 2, 3, "rc.1", "abc"}).Text(), "1.2.3-rc.1+abc");
    EXPECT_EQ((ApiVersion{1, 2, 3, "", "abc"}).Text(), "1.2.3+abc");
    EXPECT_EQ((ApiVersion{4000000000u, 0, 7, "", ""}).Text(), "4000000000.0.7");
    EXPECT_EQ(kPluginApiVersion.Text(), "18.0.0");
    // Registration tests the plugin's own version against real cores. Minor and patch
    // compare as a pair: a newer minor wins over an older patch.
    EXPECT_TRUE((Version(2, 3, 0)).CanLoad(Version(2, 2, 9)));
    EXPECT_FALSE((Version(2, 2, 8)).CanLoad(Version(2, 2, 9)));
    EXPECT_FALSE((Version(2, 1, 9)).CanLoad(Version(2, 2, 0)));
}

TEST_F(LogTest, PluginNamePrefixes) {
    DetachConsoles();
    RecordingTarget target;
    Configure(target, 0, 0, 0, "#M");

    const PluginName backend = PluginName::FromShortName("x", PluginType::Backend());
    EXPECT_EQ(backend.fullName, "pzl-be-x");
    EXPECT_EQ(backend.shortName, "x");
    EXPECT_EQ(PluginName::FromShortName("y", PluginType::Frontend()).fullName, "pzl-fe-y");
    EXPECT_TRUE(target.messages.empty());

    const PluginName tool = PluginName::FromShortName("x", PluginType{"tool", "q"});
    EXPECT_EQ(tool.fullName, "pzl-xx-x");
    EXPECT_EQ(tool.typeName, "tool");
    EXPECT_EQ(tool.typeQualifier, "q");
    ASSERT_EQ(target.messages.size(), 1u);
    EXPECT_EQ(target.messages[0],
              "            Plugin Manager| GetFullNameFromShortNameAndType(\"x\", \"tool\") called with an unknown type");
    EXPECT_EQ(target.levels[0], 2);
    EXPECT_EQ(target.masks[0], 1u);
    // The type name must match exactly.
    EXPECT_EQ(PluginName::FromShortName("x", PluginType{"Backend", ""}).fullName, "pzl-xx-x");
}

}  // namespace
}  // namespace Kesh::Testing
