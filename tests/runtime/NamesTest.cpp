// Names the runtime derives: event names from resource paths, path patterns,
// identifiers from short names, versions and a plugin's full name.
#include <gtest/gtest.h>

#include "runtime/ApiVersion.h"
#include "runtime/EventName.h"
#include "runtime/IdentifierName.h"
#include "runtime/PluginName.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

TEST(EventName, FirstSegmentsJoined) {
    EXPECT_EQ(EventName("/qor-gameflow/v1/session"), "OnJsonApiEvent_qor-gameflow_v1_session");
    EXPECT_EQ(EventName("/qor-settings/v1/local/qor-user-experience"), "OnJsonApiEvent_qor-settings_v1_local");
    EXPECT_EQ(EventName("/keshclient/zoom-scale"), "OnJsonApiEvent_keshclient_zoom-scale");
    EXPECT_EQ(EventName("/a//b///c/d/e"), "OnJsonApiEvent_a_b_c");
    EXPECT_EQ(EventName("a/b/"), "OnJsonApiEvent_a_b");
    EXPECT_EQ(EventName("/"), "OnJsonApiEvent");
    EXPECT_EQ(EventName(""), "OnJsonApiEvent");
    EXPECT_EQ(EventName("/qor-platform-config/v1/namespaces/x/y/z"),
              "OnJsonApiEvent_qor-platform-config_v1_namespaces_x_y");
    // The longer limit only applies when that name is the first segment.
    EXPECT_EQ(EventName("/x/qor-platform-config/v1/namespaces/y"), "OnJsonApiEvent_x_qor-platform-config_v1");
}

TEST(EventName, PathPatterns) {
    EXPECT_TRUE(MatchesPathPattern("/a/*/c", "/a/b/c"));
    EXPECT_TRUE(MatchesPathPattern("/a/*/c", "/a//c"));
    EXPECT_TRUE(MatchesPathPattern("/a/*/c", "/a/bcd/c"));
    EXPECT_FALSE(MatchesPathPattern("/a/*/c", "/a/b/x/c"));
    EXPECT_TRUE(MatchesPathPattern("/a/*", "/a/b"));
    EXPECT_TRUE(MatchesPathPattern("/a/*", "/a/bcd"));
    EXPECT_FALSE(MatchesPathPattern("/a/*", "/a/"));
    EXPECT_FALSE(MatchesPathPattern("/a/*", "/a/b/c"));
    EXPECT_TRUE(MatchesPathPattern("/a/b*", "/a/bx"));
    EXPECT_TRUE(MatchesPathPattern("/a/b", "/a/b"));
    EXPECT_FALSE(MatchesPathPattern("/a/b", "/a/bc"));
    EXPECT_FALSE(MatchesPathPattern("/a/bc", "/a/b"));
    EXPECT_TRUE(MatchesPathPattern("", ""));
}

TEST(IdentifierName, Forms) {
    EXPECT_EQ(IdentifierName("qor-user-experience"), "QorUserExperience");
    EXPECT_EQ(IdentifierName("a.b_c/d+e!f"), "ABCDEF");
    EXPECT_EQ(IdentifierName("list{id}items"), "ListByIditems");
    EXPECT_EQ(IdentifierName("x}y"), "Xy");
    EXPECT_EQ(IdentifierName("--lead"), "Lead");
    EXPECT_EQ(IdentifierName("already Mixed"), "Already Mixed");
    EXPECT_EQ(IdentifierName(""), "");
}

ApiVersion Version(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
    return ApiVersion{major, minor, patch, "", ""};
}

TEST(ApiVersion, TextAndCompatibility) {
    EXPECT_EQ((ApiVersion{1, 2, 3, "rc.1", "abc"}).Text(), "1.2.3-rc.1+abc");
    EXPECT_EQ((ApiVersion{1, 2, 3, "", "abc"}).Text(), "1.2.3+abc");
    EXPECT_EQ((ApiVersion{4000000000u, 0, 7, "", ""}).Text(), "4000000000.0.7");
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
