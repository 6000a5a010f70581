#include <gtest/gtest.h>

#include "runtime/EventName.h"

namespace Kesh {
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

}  // namespace
}  // namespace Kesh
