#include <gtest/gtest.h>

#include <stdexcept>

#include "log/Log.h"
#include "log/LogApi.h"
#include "runtime/EventName.h"
#include "tests/runtime/RuntimeFixture.h"

namespace Kesh::Testing {
namespace {

TEST_F(RuntimeTest, HandlerExceptionsNeverReachTheHost) {
    plugin->AddResourceHandler("/t/u", [](const PluginResourceEvent&) { throw std::runtime_error("handler"); });
    plugin->Subscribe("/t/u");
    BindingProperty data;
    EXPECT_NO_THROW(host.DeliverResourceEvent("/t/u", "Update", data));
}

TEST_F(RuntimeTest, MalformedEventsAreDropped) {
    int calls = 0;
    plugin->AddResourceHandler("/t/v", [&](const PluginResourceEvent&) { ++calls; });
    plugin->Subscribe("/t/v");
    const HostEventCallback callback = host.ActiveSubscriptions().back().callback;

    callback(nullptr);
    HostEvent event{};
    callback(&event);  // no name, no context
    event.name = "OnJsonApiEvent_t_v";
    callback(&event);  // no context
    event.context = plugin;
    event.name = "OnJsonApiEvent_unknown";
    callback(&event);  // nobody subscribed that name
    event.name = "OnJsonApiEvent_t_v";
    HostValue text{};  // a text record with a null pointer and a length
    text.kind = HostValueKind::BorrowedString;
    text.payload.string.length = 12;
    event.payload = text;
    callback(&event);
    // A service-proxy name reached through the resource callback is not mistaken for one.
    event.name = "OnServiceProxyUuidEvent";
    event.payload = HostValue{};
    callback(&event);
    EXPECT_EQ(calls, 0);
}

TEST_F(RuntimeTest, ASecondPluginObjectSharesTheFirstLogTarget) {
    FakeHost secondHost(5);
    HostRegistration secondRecord{};
    secondRecord.major = 18;
    auto* second = new TestPlugin();
    PluginBase::Register(second, &secondRecord, "second-plugin");
    ASSERT_EQ(secondRecord.callbacks->init(second, &secondHost.Context()), 1);

    Log(0, 0, "from anywhere in the library");
    ASSERT_FALSE(host.LogLines().empty());
    EXPECT_EQ(host.LogLines().back().message, "from anywhere in the library");
    EXPECT_TRUE(secondHost.LogLines().empty());
    // Exactly one target of that name: once it is detached, none is found.
    const LogApi& api = GetLogApi();
    LogTargetInterface* target = api.findTarget("PluginLogTarget");
    ASSERT_NE(target, nullptr);
    target->detach(target);
    EXPECT_EQ(api.findTarget("PluginLogTarget"), nullptr);
    target->attach(target);
    secondRecord.callbacks->unload(second);
}

TEST_F(RuntimeTest, FailingInitIsReportedToTheHost) {
    auto* failing = new TestPlugin();
    failing->initResult = false;
    HostRegistration failingRecord{};
    failingRecord.major = 18;
    PluginBase::Register(failing, &failingRecord, "failing");
    EXPECT_EQ(failingRecord.callbacks->init(failing, &host.Context()), 0);
    EXPECT_EQ(failing->initCalls, 1);
    failingRecord.callbacks->unload(failing);
}

}  // namespace
}  // namespace Kesh::Testing
