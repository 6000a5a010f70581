// After the handlers are cleared (on unload) no event may reach one: a pattern handler
// left behind would call into a plugin being torn down.
#include <gtest/gtest.h>

#include "tests/runtime/RuntimeFixture.h"

namespace Kesh::Testing {
namespace {

TEST(ClearHandlers, NeitherExactNorPatternHandlersRemain) {
    TestPlugin plugin;
    int calls = 0;
    plugin.AddResourceHandler("/a/b", [&](const PluginResourceEvent&) { ++calls; });
    plugin.AddResourceHandler("/a/*", [&](const PluginResourceEvent&) { ++calls; });
    PluginResourceEvent event;
    event.uri = "/a/b";
    plugin.DispatchResourceEvent(event);
    ASSERT_EQ(calls, 2);
    plugin.ClearResourceHandlers();
    plugin.DispatchResourceEvent(event);
    EXPECT_EQ(calls, 2);
}

}  // namespace
}  // namespace Kesh::Testing
