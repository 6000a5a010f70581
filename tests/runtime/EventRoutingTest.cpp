#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/EventName.h"
#include "runtime/SubscribeResource.h"
#include "tests/runtime/RuntimeFixture.h"

namespace Kesh::Testing {
namespace {

BindingProperty Data(const char* text) {
    BindingProperty data;
    data["text"] = text;
    return data;
}

TEST_F(RuntimeTest, InitSubscribesTheServiceProxyEvents) {
    EXPECT_EQ(plugin->initCalls, 1);
    ASSERT_EQ(host.Subscriptions().size(), 3u);
    const char* names[] = {"OnServiceProxyUuidEvent", "OnServiceProxyMethodEvent", "OnServiceProxyAsyncEvent"};
    for (int i = 0; i < 3; ++i) {
        const RecordedSubscription& subscription = host.Subscriptions()[i];
        EXPECT_EQ(subscription.eventName, names[i]);
        EXPECT_EQ(subscription.flags, 1u);
        EXPECT_EQ(subscription.clientId, host.ClientId());
        EXPECT_EQ(subscription.context, plugin);
    }
}

TEST_F(RuntimeTest, PathsSharingAnEventShareOneSubscription) {
    host.ClearRecords();
    plugin->Subscribe("/a/b/c/d");
    plugin->Subscribe("/a/b/c/e");
    ASSERT_EQ(host.Subscriptions().size(), 1u);
    EXPECT_EQ(host.Subscriptions()[0].eventName, "OnJsonApiEvent_a_b_c");
    EXPECT_EQ(host.Subscriptions()[0].flags, 0u);
    EXPECT_EQ(plugin->SubscriptionCount("OnJsonApiEvent_a_b_c"), 2u);

    plugin->Unsubscribe("/a/b/c/d");
    EXPECT_TRUE(host.Unsubscriptions().empty());
    plugin->Unsubscribe("/a/b/c/e");
    ASSERT_EQ(host.Unsubscriptions().size(), 1u);
    EXPECT_EQ(host.Unsubscriptions()[0].eventName, "OnJsonApiEvent_a_b_c");
    plugin->Unsubscribe("/a/b/c/e");  // already at 0: nothing
    EXPECT_EQ(host.Unsubscriptions().size(), 1u);
    // The event has no handler any more: a late delivery reaches nobody, and shutting
    // down does not end the subscription a second time.
    EXPECT_FALSE(host.DeliverResourceEvent("/a/b/c/d", "Update", Data("late")));
    plugin->Shutdown();
    for (const RecordedUnsubscription& unsubscription : host.Unsubscriptions()) {
        EXPECT_TRUE(unsubscription.wasActive) << unsubscription.eventName;
    }
}

TEST_F(RuntimeTest, ResourceEventsReachExactThenPatternHandlers) {
    std::vector<std::string> calls;
    plugin->AddResourceHandler("/qor-login/v1/session", [&](const PluginResourceEvent& event) {
        calls.push_back("exact " + event.uri + " " + std::to_string(static_cast<int>(event.eventType)) + " " +
                        event.data.GetMember("text").GetString(""));
    });
    plugin->AddResourceHandler("/qor-login/*/session",
                               [&](const PluginResourceEvent& event) { calls.push_back("pattern " + event.uri); });
    plugin->AddResourceHandler("/qor-login/v2/session", [&](const PluginResourceEvent&) { calls.push_back("other"); });
    plugin->Subscribe("/qor-login/v1/session");

    // The uri comes without its leading "/", the type by name and by number.
    ASSERT_TRUE(host.DeliverResourceEvent("qor-login/v1/session", "Update", Data("one")));
    ASSERT_TRUE(host.DeliverResourceEvent("/qor-login/v1/session", 2, Data("two")));
    EXPECT_EQ(calls, (std::vector<std::string>{"exact qor-login/v1/session 1 one", "pattern qor-login/v1/session",
                                               "exact /qor-login/v1/session 2 two", "pattern /qor-login/v1/session"}));
}

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

TEST_F(RuntimeTest, ShutdownEndsEverySubscriptionAndEmptiesTheTables) {
    int calls = 0;
    plugin->AddResourceHandler("/p/q", [&](const PluginResourceEvent&) { ++calls; });
    plugin->Subscribe("/p/q");
    plugin->ServiceProxyTables().AddPendingRequest("svc.get", [&](const PluginServiceProxyResponse&) { ++calls; });
    plugin->ServiceProxyTables().OnUuidMessage(PluginServiceProxyResponse{"u1", "", "", "stored", "", ""});
    plugin->Shutdown();
    EXPECT_EQ(plugin->ServiceProxyTables().PendingRequestCount(), 0u);
    EXPECT_EQ(plugin->ServiceProxyTables().StoredResponseCount(), 0u);
    EXPECT_TRUE(host.ActiveSubscriptions().empty());
    EXPECT_EQ(host.Unsubscriptions().size(), 4u);  // three service-proxy events and the resource
    EXPECT_FALSE(host.DeliverResourceEvent("/p/q", "Update", Data("after")));
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(plugin->SubscriptionCount("OnJsonApiEvent_p_q"), 1u);  // counts are kept
}

TEST_F(RuntimeTest, ServiceProxyMessagesThroughTheHost) {
    std::vector<std::string> completed;
    plugin->ServiceProxyTables().AddPendingRequest(
        "svc.get", [&](const PluginServiceProxyResponse& response) { completed.push_back(response.payload); });
    BindingProperty message;
    message["serviceName"] = "svc";
    message["methodName"] = "get";
    message["payload"] = "{}";
    ASSERT_TRUE(host.Deliver("OnServiceProxyMethodEvent", message));
    EXPECT_EQ(completed, (std::vector<std::string>{"{}"}));

    // Log lines now end in the host's log: the plugin log target was installed at init.
    ASSERT_TRUE(host.Deliver("OnServiceProxyAsyncEvent", message));
    ASSERT_FALSE(host.LogLines().empty());
    // The wording is pinned where the proxy writes it; here: this plugin's line, this event.
    const std::string& line = host.LogLines().back().message;
    EXPECT_EQ(host.LogLines().back().level, 2);
    EXPECT_EQ(line.rfind("test-plugin: ", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 8), " svc.get") << line;
}

TEST_F(RuntimeTest, WaitCallsTheStepsTheHostHasInOrder) {
    host.SetWaitResult(0x1'0000'0002ull);
    EXPECT_EQ(plugin->Wait(), 0x1'0000'0002ull);
    ASSERT_EQ(host.WaitCalls().size(), 3u);
    EXPECT_EQ(host.WaitCalls()[0].entry, 7);
    EXPECT_EQ(host.WaitCalls()[0].label, "Wait: yield");
    EXPECT_EQ(host.WaitCalls()[0].value, 0);
    EXPECT_EQ(host.WaitCalls()[1].entry, 6);
    EXPECT_EQ(host.WaitCalls()[2].entry, 8);

    // A host without the later entries, or no host at all: nothing to call, nothing waited for.
    host.Api().waitResume = nullptr;
    host.Api().waitResult = nullptr;
    EXPECT_EQ(plugin->Wait(), 0u);
    EXPECT_EQ(host.WaitCalls().size(), 4u);  // the yield
    EXPECT_EQ(TestPlugin().Wait(), 0u);
}

// Typed handlers: the data type comes from the handler (or is named), exact paths are
// fetched once after the host subscription, patterns never.
TEST_F(RuntimeTest, TypedSubscriptions) {
    host.ClearRecords();

    // A pattern is subscribed but never fetched.
    std::vector<std::string> seen;
    const auto record = [&seen](const ResourceEvent<BindingProperty>& event) {
        seen.push_back(event.uri + " " + std::to_string(static_cast<int>(event.eventType)) + " " +
                       std::string(BindingProperty::KindName(static_cast<unsigned>(event.data.Kind()))));
    };
    // The lambda form: the data type comes from the handler's parameter.
    SubscribeResource(*plugin, "/qor-lobby/v1/lobby/*", record);
    EXPECT_TRUE(host.Requests().empty());
    EXPECT_TRUE(host.IsSubscribed("OnJsonApiEvent_qor-lobby_v1_lobby"));
    host.DeliverResourceEvent("/qor-lobby/v1/lobby/members", "Update", BindingProperty(1));
    EXPECT_EQ(seen, (std::vector<std::string>{"/qor-lobby/v1/lobby/members 1 signed"}));

    // An exact path is fetched once, after the host subscription, and its state is
    // handled as a Create before the call returns.
    seen.clear();
    host.ClearRecords();
    host.SetResource("/qor-lobby/v2/lobby", BindingProperty("open"));
    SubscribeResource<BindingProperty>(*plugin, "/qor-lobby/v2/lobby", record);
    ASSERT_EQ(host.Requests().size(), 1u);
    EXPECT_EQ(host.Requests()[0].Method(), HttpMethod::Get);
    EXPECT_EQ(host.Requests()[0].url, "/qor-lobby/v2/lobby");
    EXPECT_EQ(host.Subscriptions().size(), 1u);
    EXPECT_EQ(seen, (std::vector<std::string>{"/qor-lobby/v2/lobby 0 string"}));
    // A Delete carries no data, whatever the host sends.
    host.DeliverResourceEvent("/qor-lobby/v2/lobby", "Delete", BindingProperty("gone"));
    EXPECT_EQ(seen.back(), "/qor-lobby/v2/lobby 2 empty");

    // Subscribing a path again replaces its handler and counts twice on the event.
    std::vector<double> doubles;
    SubscribeResource<double>(*plugin, "/qor-lobby/v2/lobby",
                              [&doubles](const ResourceEvent<double>& event) { doubles.push_back(event.data); });
    EXPECT_EQ(plugin->SubscriptionCount("OnJsonApiEvent_qor-lobby_v2_lobby"), 2u);
    seen.clear();
    doubles.clear();
    host.DeliverResourceEvent("/qor-lobby/v2/lobby", "Update", BindingProperty("1.25"));
    host.DeliverResourceEvent("/qor-lobby/v2/lobby", "Update", BindingProperty("wide"));
    host.DeliverResourceEvent("/qor-lobby/v2/lobby", "Delete", BindingProperty(7.0));
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(doubles, (std::vector<double>{1.25, 0.0}));
}

// After the handlers are cleared (on unload) no event may reach one: a pattern handler
// left behind would call into a plugin being torn down.
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
