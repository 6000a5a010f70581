#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "log/Log.h"
#include "log/LogManager.h"
#include "platform/Allocator.h"
#include "runtime/EventName.h"
#include "runtime/PluginExport.h"
#include "tests/runtime/RuntimeFixture.h"
#include "tests/support/AllocationFailure.h"

namespace Kesh::Testing {
namespace {

std::vector<std::string> ErrorLines(const FakeHost& host) {
    std::vector<std::string> lines;
    for (const LogLine& line : host.LogLines()) {
        if (line.level == 2) lines.push_back(line.message);
    }
    return lines;
}

// Exceptions stop at every function the host calls, and each leaves one error line:
// resource handlers and service-proxy handlers alike.
TEST_F(RuntimeTest, HandlerExceptionsNeverReachTheHost) {
    plugin->AddResourceHandler("/t/u", [](const PluginResourceEvent&) { throw std::runtime_error("handler"); });
    plugin->Subscribe("/t/u");
    plugin->ServiceProxyTables().AddPendingRequest(
        "svc.get", [](const PluginServiceProxyResponse&) { throw std::runtime_error("proxy handler"); });
    host.ClearRecords();
    EXPECT_NO_THROW(host.DeliverResourceEvent("/t/u", "Update", BindingProperty()));
    BindingProperty message;
    message["serviceName"] = "svc";
    message["methodName"] = "get";
    EXPECT_NO_THROW(host.Deliver("OnServiceProxyMethodEvent", message));
    EXPECT_EQ(ErrorLines(host),
              (std::vector<std::string>{
                  "test-plugin: Event OnJsonApiEvent_t_u stopped by an exception: handler",
                  "test-plugin: Event OnServiceProxyMethodEvent stopped by an exception: proxy handler"}));
}

// A plugin whose hooks throw in the step named by throwIn ("fail": init returns false).
class ThrowingPlugin : public TestPlugin {
public:
    void RegisterTypes() override {
        if (throwIn == "register") throw std::runtime_error("register hook");
    }
    bool OnInit() override {
        if (throwIn == "init") throw std::runtime_error("init hook");
        return throwIn != "fail";
    }
    void Shutdown() override {
        PluginBase::Shutdown();
        if (throwIn == "shutdown") throw 42;
    }
    static inline std::string throwIn;
};

// A failing init, thrown or returned, is reported to the host as a failure.
TEST_F(RuntimeTest, ExceptionsInLoadInitAndUnloadAreLogged) {
    // The fixture's plugin log target carries every line of the library to its host.
    host.ClearRecords();
    for (const char* step : {"register", "init", "fail", "shutdown"}) {
        ThrowingPlugin::throwIn = step;
        HostRegistration throwingRecord{};
        throwingRecord.major = 18;
        LoadPlugin<ThrowingPlugin>(&throwingRecord, "throwing");
        if (throwingRecord.plugin == nullptr) continue;
        EXPECT_EQ(throwingRecord.callbacks->init(throwingRecord.plugin, &host.Context()),
                  ThrowingPlugin::throwIn == "init" || ThrowingPlugin::throwIn == "fail" ? 0 : 1)
            << step;
        throwingRecord.callbacks->unload(throwingRecord.plugin);
    }
    ThrowingPlugin::throwIn.clear();
    EXPECT_EQ(ErrorLines(host), (std::vector<std::string>{
                                    "throwing: Registration stopped by an exception: register hook",
                                    "throwing: Init stopped by an exception: init hook",
                                    "throwing: Unload stopped by an exception: unknown exception",
                                }));
}

std::int64_t LiveBlocks() {
    const Memory::AllocationCounters counters = Memory::ReadCounters();
    return static_cast<std::int64_t>(counters.allocationCount - counters.freeCount);
}

enum class Outcome { Untouched, BuiltDespiteFailure, NotBuilt };

// Builds a plugin object while allocation number failAt fails (0: none), then loads,
// logs and unloads it.
Outcome PluginLifeWithAFailure(std::uint64_t failAt) {
    FakeHost host;
    TestPlugin* plugin = nullptr;
    bool triggered = false;
    {
        Testing::AllocationFailure failure(failAt, false);
        try {
            plugin = new TestPlugin();
        } catch (const std::bad_alloc&) {
        }
        triggered = failure.Triggered();
    }
    if (plugin == nullptr) return Outcome::NotBuilt;
    HostRegistration record{};
    record.major = 18;
    PluginBase::Register(plugin, &record, "test-plugin");
    EXPECT_EQ(record.callbacks->init(plugin, &host.Context()), 1);
    Log(0, 0, "a line");
    record.callbacks->unload(plugin);
    return triggered ? Outcome::BuiltDespiteFailure : Outcome::Untouched;
}

// The log manager cannot be made while the plugin object is built: the plugin's
// reference still counts, so the manager made later goes with the plugin.
TEST(PluginObjectWithoutMemory, KeepsItsLogManagerReference) {
    LogManager::AddReference();  // adopts and ends a manager an earlier log call made
    LogManager::ReleaseReference();
    ASSERT_FALSE(LogManager::Exists());
    PluginLifeWithAFailure(0);
    ASSERT_FALSE(LogManager::Exists());
    const std::int64_t before = LiveBlocks();
    std::uint64_t survived = 0;
    for (std::uint64_t n = 1;; ++n) {
        const Outcome outcome = PluginLifeWithAFailure(n);
        if (outcome == Outcome::Untouched) break;  // past the constructor's allocations
        if (outcome == Outcome::BuiltDespiteFailure) ++survived;
        EXPECT_FALSE(LogManager::Exists()) << "allocation " << n;
        EXPECT_EQ(LiveBlocks(), before) << "allocation " << n;
        if (LogManager::Exists()) {
            LogManager::AddReference();
            LogManager::ReleaseReference();
        }
    }
    EXPECT_GE(survived, 1u);
}

// Events the runtime cannot read reach no handler: no event, no name or context, a name
// nobody subscribed, records no value can make, an unknown event type, a payload that is
// no structure; a good event after them still arrives.
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
    HostValue raw{};  // a text record with a null pointer and a length
    raw.kind = HostValueKind::BorrowedString;
    raw.payload.string.length = 12;
    event.payload = raw;
    callback(&event);
    // A service-proxy name reached through the resource callback is not mistaken for one.
    event.name = "OnServiceProxyUuidEvent";
    event.payload = HostValue{};
    callback(&event);

    raw.kind = static_cast<HostValueKind>(42);
    EXPECT_TRUE(host.DeliverRecord(EventName("/t/v"), raw));
    raw.kind = HostValueKind::Structure;
    raw.payload.structure = {nullptr, 3};
    EXPECT_TRUE(host.DeliverRecord(EventName("/t/v"), raw));
    raw.kind = HostValueKind::Collection;
    raw.payload.collection = {nullptr, 7};
    EXPECT_TRUE(host.DeliverRecord(EventName("/t/v"), raw));
    BindingProperty data;
    data["text"] = "bad type";
    EXPECT_TRUE(host.DeliverResourceEvent("/t/v", "Sideways", data));
    EXPECT_TRUE(host.Deliver(EventName("/t/v"), BindingProperty("just text")));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(host.DeliverResourceEvent("/t/v", "Create", data));
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace Kesh::Testing
