#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/EventName.h"
#include "tests/runtime/RuntimeFixture.h"

namespace Kesh::Testing {
namespace {

// Payloads a handler sees alike, whether they fill the event straight from the host's
// record or, being less plain, through a value tree.
TEST_F(RuntimeTest, PlainAndUnusualPayloadsReachTheHandlerAlike) {
    std::vector<std::string> calls;
    plugin->AddResourceHandler("/a/b/c", [&](const PluginResourceEvent& event) {
        calls.push_back(event.uri + " " + std::to_string(static_cast<int>(event.eventType)) + " " +
                        event.data.GetMember("text").GetString("") + " " +
                        std::to_string(event.data.GetMember("list").Size()));
    });
    plugin->Subscribe("/a/b/c");
    BindingProperty data;
    data["text"] = "x";
    data["list"].Append() = 1;
    data["list"].Append() = "two";

    const auto payload = [&](const BindingProperty& eventType) {
        BindingProperty value;
        value["uri"] = "/a/b/c";
        value["eventType"] = eventType;
        value["data"] = data;
        return value;
    };
    BindingProperty extra = payload("Delete");
    extra["meta"]["origin"] = "test";  // a member holding others
    const std::string name = EventName("/a/b/c");
    ASSERT_TRUE(host.Deliver(name, payload("Update")));
    ASSERT_TRUE(host.Deliver(name, payload("2")));  // the number in a text
    ASSERT_TRUE(host.Deliver(name, extra));
    // An eventType that names nothing drops the event.
    ASSERT_TRUE(host.Deliver(name, payload("Upsert")));
    EXPECT_EQ(calls, (std::vector<std::string>{"/a/b/c 1 x 2", "/a/b/c 2 x 2", "/a/b/c 2 x 2"}));
}

}  // namespace
}  // namespace Kesh::Testing
