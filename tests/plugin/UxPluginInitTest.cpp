#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/plugin/LoadedPlugin.h"
#include "tests/support/fakehost/FakeHost.h"
#include "tests/support/Unpacked.h"

namespace Kesh::Testing {
namespace {

const std::vector<std::string> kWatchedPaths = {
    "/qor-settings/v1/local/qor-user-experience", "/qor-gameflow/v1/session", "/qor-settings/v2/local/video",
    "/keshclient/zoom-scale", "/qor-login/v1/session",
};

// The host's calls as one line each, in the order made: "subscribe NAME", "GET /path",
// "POST /path body", ... (resource subscriptions only); every subscription and request
// is checked to carry the plugin's client id, resource subscriptions no flags and
// replies to be released once.
std::vector<std::string> Timeline(const FakeHost& host) {
    const std::vector<std::string> requests = Calls(host);
    std::vector<std::string> lines;
    for (const HostCall& call : host.Calls()) {
        if (call.kind == HostCallKind::Subscribe) {
            const RecordedSubscription& subscription = host.Subscriptions()[call.index];
            EXPECT_EQ(subscription.clientId, host.ClientId());
            if (subscription.eventName.starts_with("OnJsonApiEvent")) {
                EXPECT_EQ(subscription.flags, 0u);
                lines.push_back("subscribe " + subscription.eventName);
            }
        } else if (call.kind == HostCallKind::Request) {
            EXPECT_EQ(host.Requests()[call.index].clientId, host.ClientId());
            EXPECT_EQ(host.Requests()[call.index].replyReleases, 1u);
            lines.push_back(requests[call.index]);
        }
    }
    return lines;
}

TEST(UxPluginInit, RegistersThroughTheExport) {
    FakeHost host;
    LoadedPlugin plugin(host);
    ASSERT_TRUE(plugin.Registered());
    EXPECT_STREQ(plugin.Record().shortName, "qor-user-experience");
    // Nothing reaches the host before init.
    EXPECT_TRUE(host.Requests().empty());
    EXPECT_TRUE(host.Subscriptions().empty());
    // Copied out first: the host's record packs its fields, and a reference to a
    // misaligned pointer field is undefined.
    const void* apiTable = plugin.Record().apiTable;
    EXPECT_NE(apiTable, nullptr);
}

// A resource changed between the GET and the subscription would never reach the
// plugin: each watched resource is subscribed before its first state is read, and the
// first state's effects come before the next resource is watched.
TEST(UxPluginInit, EachResourceIsSubscribedThenFetchedAndItsFirstStateHandled) {
    struct Case {
        const char* name;
        bool stored;
        std::vector<std::string> timeline;
    };
    const Case cases[] = {
        // Each fetch fails, and the start-up step sets the login affinity.
        {"nothing stored",
         false,
         {"subscribe OnJsonApiEvent_qor-settings_v1_local", "GET /qor-settings/v1/local/qor-user-experience",
          "subscribe OnJsonApiEvent_qor-gameflow_v1_session", "GET /qor-gameflow/v1/session",
          "subscribe OnJsonApiEvent_qor-settings_v2_local", "GET /qor-settings/v2/local/video",
          "subscribe OnJsonApiEvent_keshclient_zoom-scale", "GET /keshclient/zoom-scale",
          "subscribe OnJsonApiEvent_qor-login_v1_session", "GET /qor-login/v1/session", "GET /qor-login/v1/session",
          "POST /keshclient/affinity login"}},
        // The flag is known before the phase, the settings' zoom before the host's (equal,
        // so no write), and a login session deletes the affinity twice: once as its first
        // state, once by the start-up step. No "login" affinity.
        {"every resource stored",
         true,
         {"subscribe OnJsonApiEvent_qor-settings_v1_local", "GET /qor-settings/v1/local/qor-user-experience",
          "subscribe OnJsonApiEvent_qor-gameflow_v1_session", "GET /qor-gameflow/v1/session",
          "POST /keshclient/kill-ux", "POST /keshclient/affinity postgame",
          "subscribe OnJsonApiEvent_qor-settings_v2_local", "GET /qor-settings/v2/local/video",
          "POST /keshclient/zoom-scale 1.25", "subscribe OnJsonApiEvent_keshclient_zoom-scale",
          "GET /keshclient/zoom-scale", "subscribe OnJsonApiEvent_qor-login_v1_session", "GET /qor-login/v1/session",
          "DELETE /keshclient/affinity", "GET /qor-login/v1/session", "DELETE /keshclient/affinity"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeHost host;
        if (c.stored) {
            BindingProperty settings;
            settings["data"]["unloadUxInGameEnabled"] = true;
            host.SetResource("/qor-settings/v1/local/qor-user-experience", settings);
            BindingProperty session;
            session["phase"] = "InProgress";
            host.SetResource("/qor-gameflow/v1/session", session);
            BindingProperty video;
            video["data"]["ZoomScale"] = 1.25;
            host.SetResource("/qor-settings/v2/local/video", video);
            host.SetResource("/keshclient/zoom-scale", BindingProperty(1.25));
            host.SetResource("/qor-login/v1/session", BindingProperty("someone"));
        }
        LoadedPlugin plugin(host);
        ASSERT_TRUE(plugin.Init());
        EXPECT_EQ(Timeline(host), c.timeline);
        EXPECT_EQ(Logged(host, 3), c.stored ? (std::vector<std::string>{"Unload ux in game set to: true",
                                                                         "Setting affinity to postgame."})
                                            : std::vector<std::string>{});
    }
}

TEST(UxPluginInit, SucceedsWhenEveryRequestFails) {
    FakeHost host;
    for (const std::string& path : kWatchedPaths) {
        host.ReplyWithError(HttpMethod::Get, path, "Service unavailable", 503);
    }
    host.ReplyWithError(HttpMethod::Post, "/keshclient/affinity", "Service unavailable", 503);
    LoadedPlugin plugin(host);
    EXPECT_TRUE(plugin.Init());
    EXPECT_EQ(CountCalls(host, "POST", "/keshclient/affinity"), 1u);
    EXPECT_EQ(CountCalls(host, "DELETE", "/keshclient/affinity"), 0u);
    EXPECT_EQ(host.Requests().size(), 7u);
    EXPECT_EQ(host.OutstandingReplies(), 0u);

    // The subscriptions stay in place: later events are handled.
    host.ClearRecords();
    BindingProperty session;
    session["phase"] = "Lobby";
    ASSERT_TRUE(host.DeliverResourceEvent("/qor-gameflow/v1/session", "Update", session));
    EXPECT_EQ(Calls(host), (std::vector<std::string>{"DELETE /keshclient/affinity"}));
}

// Unload ends every host subscription, and everything one plugin object allocates in
// the library is freed: a second load-init-events-unload cycle leaves the counters'
// live figures where the first left them.
TEST(UxPluginInit, UnloadEndsEverySubscriptionAndFreesEverything) {
    auto cycle = [] {
        FakeHost host;
        BindingProperty video;
        video["data"]["ZoomScale"] = 1.5;
        host.SetResource("/qor-settings/v2/local/video", video);
        MemoryStats before{};
        MemoryStats after{};
        {
            LoadedPlugin plugin(host);
            before = plugin.Stats();
            EXPECT_TRUE(plugin.Init());
            // The five resource events and the three service-proxy events.
            EXPECT_EQ(host.ActiveSubscriptions().size(), 8u);
            BindingProperty session;
            for (const char* phase : {"Lobby", "InProgress", "EndOfGame", "Bogus"}) {
                session["phase"] = phase;
                host.DeliverResourceEvent("/qor-gameflow/v1/session", "Update", session);
            }
            host.DeliverResourceEvent("/keshclient/zoom-scale", "Update", BindingProperty(2.0));
            host.DeliverResourceEvent("/qor-login/v1/session", "Delete", BindingProperty());
            plugin.Unload();
            after = plugin.Stats();
            EXPECT_TRUE(host.ActiveSubscriptions().empty());
            EXPECT_EQ(host.Unsubscriptions().size(), 8u);
            for (const RecordedUnsubscription& unsubscription : host.Unsubscriptions()) {
                EXPECT_TRUE(unsubscription.wasActive) << unsubscription.eventName;
                EXPECT_EQ(unsubscription.clientId, host.ClientId());
            }
            EXPECT_EQ(host.OutstandingReplies(), 0u);
        }
        return std::make_pair(before, after);
    };
    const auto [firstBefore, firstAfter] = cycle();
    const auto [secondBefore, secondAfter] = cycle();

    const auto liveAllocations = [](const MemoryStats& stats) { return stats.allocationCount - stats.freeCount; };
    const auto liveBytes = [](const MemoryStats& stats) { return stats.bytesAllocated - stats.bytesFreed; };
    EXPECT_GT(Unpacked(secondAfter.allocationCount), Unpacked(secondBefore.allocationCount));
    EXPECT_EQ(liveAllocations(firstAfter), 0u);
    EXPECT_EQ(liveBytes(firstAfter), 0u);
    EXPECT_EQ(liveAllocations(secondAfter), liveAllocations(firstAfter));
    EXPECT_EQ(liveBytes(secondAfter), liveBytes(firstAfter));
}

}  // namespace
}  // namespace Kesh::Testing
