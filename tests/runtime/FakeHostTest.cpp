#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "binding/HostValueConversion.h"
#include "runtime/HostEvent.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "tests/support/fakehost/FakeHost.h"
#include "tests/support/Unpacked.h"

namespace Kesh::Testing {
namespace {

// Calls the request entry the way a plugin does and keeps the reply for inspection.
struct Call {
    HostRequest request{};
    HostArgument argument{};
    HostReply reply{};

    Call(FakeHost& host, HttpMethod method, const char* url, const BindingProperty* body = nullptr) {
        request.method = static_cast<std::uint32_t>(method);
        request.url = url;
        request.clientId = host.ClientId();
        if (body != nullptr) {
            ToHostValue(*body, argument.value);
            request.arguments = &argument;
            request.argumentCount = 1;
        }
        host.Api().request(&host.Api(), &reply, &request);
        argument.value.Release();
    }
    std::string Error() const { return reply.result.hasError ? reply.result.errorText : "(none)"; }
};

// What the plugin's requests do to the store (the replies the runtime reads are tested
// through CallApi): a PUT stores, a PATCH merges, a POST changes nothing, a DELETE removes,
// a method the store does not know is refused; every call lands in one list in the order
// made, whatever its kind.
TEST(FakeHost, TheStoreAndTheOrderedCallList) {
    FakeHost host(5);
    BindingProperty settings;
    settings["zoom"] = 1.5;
    settings["name"] = "video";
    host.SetResource("/a", settings);
    host.SetResource("/c", settings);
    BindingProperty patch;
    patch["zoom"] = 2.0;
    const BindingProperty login("login");
    const BindingProperty number(3.25);
    struct Row {
        HttpMethod method;
        const char* url;
        const BindingProperty* body;
        std::uint32_t status;
        const char* error;
    };
    const Row rows[] = {
        {HttpMethod::Put, "/b", &login, 200, "(none)"},     {HttpMethod::Patch, "/a", &patch, 200, "(none)"},
        {HttpMethod::Patch, "/none", &patch, 404, "Not found"}, {HttpMethod::Post, "/b", &number, 200, "(none)"},
        {HttpMethod::Delete, "/c", nullptr, 200, "(none)"}, {HttpMethod::Head, "/a", nullptr, 405, nullptr},
    };
    HostApi& api = host.Api();
    api.logMessage(&api, 1, "first");
    api.subscribeEvent(&api, "OnJsonApiEvent_a", host.ClientId(), [](HostEvent*) {}, nullptr, 0);
    for (const Row& row : rows) {
        Call call(host, row.method, row.url, row.body);
        EXPECT_EQ(Unpacked(call.reply.statusCode), row.status) << row.url;
        if (row.error != nullptr) {
            EXPECT_EQ(call.Error(), row.error) << row.url;
        }
        call.reply.release(&call.reply);
    }
    EXPECT_EQ(host.Store("/a").GetMember("zoom").GetFloat(), 2.0);
    EXPECT_STREQ(host.Store("/a").GetMember("name").GetString(), "video");
    EXPECT_STREQ(host.Store("/b").GetString(), "login");
    EXPECT_FALSE(host.HasResource("/c"));
    EXPECT_EQ(host.Requests()[0].arguments.at(0).count, 5u);
    EXPECT_EQ(host.Requests()[3].Body().GetFloat(), 3.25);
    for (const RecordedRequest& request : host.Requests()) EXPECT_EQ(request.clientId, 5u);

    api.waitYield(&api, "Wait: yield", 0);
    api.unsubscribeEvent(&api, "OnJsonApiEvent_a", host.ClientId());
    api.logMessage(&api, 2, "last");
    EXPECT_FALSE(host.DeliverResourceEvent("/b", "Update", BindingProperty(1)));
    std::vector<std::string> order;
    for (const StandIn::HostCall& call : host.Calls()) order.push_back(StandIn::HostCallKindName(call.kind));
    const std::vector<std::string> expected = {"log",     "subscribe", "request",     "request", "request", "request",
                                               "request", "request",   "wait", "unsubscribe", "log",  "event"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(host.LogLines()[host.Calls()[10].index].message, "last");
    EXPECT_EQ(host.Events()[0].receivers, 0u);
    EXPECT_FALSE(host.Calls()[0].otherThread);
    host.ClearRecords();
    EXPECT_TRUE(host.Calls().empty());
}

// With the live store, changes raise the events the host would raise, queued until the
// current delivery ends; without it (the default) nothing is raised.
TEST(FakeHost, LiveStoreQueuesTheEventsOfChanges) {
    FakeHost host;
    const BindingProperty one(1);
    Call first(host, HttpMethod::Put, "/a", &one);
    first.reply.release(&first.reply);
    EXPECT_EQ(host.PendingEventCount(), 0u);
    host.ClearRecords();

    host.SetLiveStore(true);
    BindingProperty patch;
    patch["x"] = 2;
    const BindingProperty text("postgame");
    Call put(host, HttpMethod::Put, "/b", &patch);
    Call update(host, HttpMethod::Put, "/b", &patch);
    Call merge(host, HttpMethod::Patch, "/b", &patch);
    Call post(host, HttpMethod::Post, "/c", &text);
    Call postEmpty(host, HttpMethod::Post, "/d");
    Call remove(host, HttpMethod::Delete, "/c");
    Call removeMissing(host, HttpMethod::Delete, "/nothing");
    host.SetReply(HttpMethod::Delete, "/b", ReplyPlan::Error("busy", 500));
    Call failed(host, HttpMethod::Delete, "/b");
    for (Call* call : {&put, &update, &merge, &post, &postEmpty, &remove, &removeMissing, &failed})
        call->reply.release(&call->reply);
    EXPECT_EQ(host.Store("/c").Kind(), PropertyKind::Empty);
    EXPECT_FALSE(host.HasResource("/d"));
    ASSERT_EQ(host.PendingEventCount(), 5u);
    EXPECT_EQ(host.DeliverPending(3), 3u);
    EXPECT_EQ(host.DeliverPending(100), 2u);
    std::vector<std::string> events;
    for (const DeliveredEvent& event : host.Events()) events.push_back(event.eventType + " " + event.uri);
    const std::vector<std::string> expected = {"Create /b", "Update /b", "Update /b", "Create /c", "Delete /c"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(host.Events()[3].data.GetStringView(), "postgame");
}

// A release of a record that is not a live reply is a fault the host records (and the
// test adapter reports), never a crash.
TEST(FakeHost, ReleasingTwiceIsARecordedFault) {
    struct Quiet : StandIn::FakeHost {
        int faults = 0;
        void OnFault(const std::string&) override { ++faults; }
    } host;
    HostRequest request{};
    request.method = static_cast<std::uint32_t>(HttpMethod::Get);
    request.url = "/a";
    HostReply reply{};
    host.Api().request(&host.Api(), &reply, &request);
    HostReply cleared{};
    reply.release(&cleared);
    reply.release(&reply);
    EXPECT_EQ(host.faults, 1);
    ASSERT_EQ(host.Faults().size(), 1u);
    EXPECT_EQ(host.Faults()[0], "a reply release on a cleared reply record");
    EXPECT_EQ(host.Calls().back().kind, HostCallKind::Fault);
}

}  // namespace
}  // namespace Kesh::Testing
