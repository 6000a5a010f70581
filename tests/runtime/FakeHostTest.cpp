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

TEST(FakeHost, StoreAndFixedRepliesAnswerAndCountReleases) {
    FakeHost host(5);
    BindingProperty settings;
    settings["zoom"] = 1.5;
    settings["name"] = "video";
    host.SetResource("/a", settings);
    host.SetResource("/c", settings);
    host.ReplyWithError(HttpMethod::Get, "/gone", "Gone away", 0);
    ReplyPlan both = ReplyPlan::Error("Broken", 500);  // an error with a value and a stream
    both.value = "ignored";
    both.stream = StreamPlan{"[1]"};
    host.SetReply(HttpMethod::Put, "/a", both);
    host.SetReply(HttpMethod::None, "/odd", ReplyPlan::RawKind(11));
    BindingProperty patch;
    patch["zoom"] = 2.0;
    const BindingProperty login("login");
    const BindingProperty number(3.25);

    struct Row {
        HttpMethod method;
        const char* url;
        const BindingProperty* body;
        std::uint32_t status;
        const char* error;  // null: not checked
        HostValueKind kind;
    };
    const HostValueKind empty = HostValueKind::Empty;
    const Row rows[] = {
        {HttpMethod::Get, "/nothing", nullptr, 404, "Not found", empty},
        {HttpMethod::Put, "/b", &login, 200, "(none)", empty},
        {HttpMethod::Patch, "/a", &patch, 200, "(none)", empty},
        {HttpMethod::Patch, "/none", &patch, 404, "Not found", empty},
        {HttpMethod::Post, "/b", &number, 200, "(none)", empty},
        {HttpMethod::Delete, "/c", nullptr, 200, "(none)", empty},
        {HttpMethod::Head, "/a", nullptr, 405, nullptr, empty},
        {HttpMethod::Get, "/gone", nullptr, 0, "Gone away", empty},
        {HttpMethod::Put, "/a", &number, 500, "Broken", HostValueKind::OwnedString},
        {static_cast<HttpMethod>(9), "/odd", nullptr, 200, nullptr, static_cast<HostValueKind>(11)},
    };
    for (const Row& row : rows) {
        Call call(host, row.method, row.url, row.body);
        EXPECT_EQ(Unpacked(call.reply.statusCode), row.status) << row.url;
        EXPECT_EQ(Unpacked(call.reply.result.value.kind), row.kind) << row.url;
        if (row.error != nullptr) {
            EXPECT_EQ(call.Error(), row.error) << row.url;
        }
        call.reply.release(&call.reply);
    }
    Call get(host, HttpMethod::Get, "/a");
    EXPECT_STREQ(get.reply.contentType, "application/json");
    BindingProperty stored;
    HostResultHead head{};
    ASSERT_TRUE(FromHostValue(get.reply.result.value, stored, "<result>", head));
    head.Release();
    EXPECT_EQ(stored.GetMember("zoom").GetFloat(), 2.0);
    EXPECT_STREQ(stored.GetMember("name").GetString(), "video");  // a patch merges
    get.reply.release(&get.reply);
    get.reply.release(&get.reply);  // counted, frees nothing twice
    EXPECT_EQ(Unpacked(get.reply.result.value.kind), HostValueKind::Empty);
    EXPECT_STREQ(host.Store("/b").GetString(), "login");  // the post changed nothing
    EXPECT_FALSE(host.HasResource("/c"));
    EXPECT_EQ(host.OpenStreams(), 1u);  // a stream never read or released stays the host's

    const std::vector<RecordedRequest>& requests = host.Requests();
    ASSERT_EQ(requests.size(), 11u);
    EXPECT_EQ(requests[1].arguments.at(0).count, 5u);
    EXPECT_EQ(requests[4].Body().GetFloat(), 3.25);
    EXPECT_EQ(requests[9].method, 9u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].replyReleases, i == 10 ? 2u : 1u) << requests[i].url;
        EXPECT_EQ(requests[i].clientId, 5u);
    }
}

TEST(FakeHost, StreamsArriveInTheChosenPieces) {
    const std::string text = "\"" + std::string(9998, 'x') + "\"";
    std::vector<int> hundredMore(100, 1);
    hundredMore.back() = 0;
    struct Row {
        const char* name;
        StreamPlan plan;
        std::vector<std::uint32_t> lengths;
        std::vector<int> more;
        bool fails;
    };
    const Row rows[] = {
        {"whole", StreamPlan{text}, {4096, 4096, 1808}, {1, 1, 0}, false},
        {"empty tail", StreamPlan{"{}", 100, true}, {2, 0}, {1, 0}, false},
        {"broken", StreamPlan{text, 100, false, 3}, {100, 100}, {1, 1}, true},
        {"hundreds", StreamPlan{text, 100}, std::vector<std::uint32_t>(100, 100), hundredMore, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeHost host;
        host.ReplyWithStream(HttpMethod::Get, "/s", row.plan);
        Call call(host, HttpMethod::Get, "/s");
        EXPECT_EQ(Unpacked(call.reply.bodySizeHint), row.plan.text.size());
        std::vector<std::uint32_t> lengths;
        std::vector<int> more;
        std::string read;
        char buffer[4096];
        std::uint8_t moreData = 1;
        bool failed = false;
        while (moreData != 0 && !failed && lengths.size() < 1000) {
            std::uint32_t length = sizeof buffer;
            failed = call.reply.readBody(call.reply.bodyOwner, buffer, &length, &moreData) == 0;
            if (failed) continue;
            lengths.push_back(length);
            more.push_back(moreData);
            read.append(buffer, length);
        }
        call.reply.releaseBody(call.reply.bodyOwner);
        call.reply.release(&call.reply);
        EXPECT_EQ(lengths, row.lengths);
        EXPECT_EQ(more, row.more);
        EXPECT_EQ(failed, row.fails);
        if (!row.fails) {
            EXPECT_EQ(read, row.plan.text);
        }
        EXPECT_EQ(host.Requests().at(0).bodyReads, row.lengths.size() + (row.fails ? 1 : 0));
        EXPECT_EQ(host.Requests().at(0).bodyReleases, 1u);
        EXPECT_EQ(host.Requests().at(0).replyReleases, 1u);
        EXPECT_EQ(host.OpenStreams(), 0u);
    }
}

// Every call lands in one list in the order made, whatever its kind, so that a test can
// see a subscription before a request or a log line between two requests.
TEST(FakeHost, OneOrderedListAcrossKinds) {
    FakeHost host;
    HostApi& api = host.Api();
    api.logMessage(&api, 1, "first");
    api.subscribeEvent(&api, "OnJsonApiEvent_a", host.ClientId(), [](HostEvent*) {}, nullptr, 0);
    Call get(host, HttpMethod::Get, "/a");
    get.reply.release(&get.reply);
    api.waitYield(&api, "Wait: yield", 0);
    api.unsubscribeEvent(&api, "OnJsonApiEvent_a", host.ClientId());
    api.logMessage(&api, 2, "last");
    EXPECT_TRUE(host.DeliverResourceEvent("/b", "Update", BindingProperty(1)) == false);

    std::vector<std::string> order;
    for (const StandIn::HostCall& call : host.Calls()) order.push_back(StandIn::HostCallKindName(call.kind));
    const std::vector<std::string> expected = {"log", "subscribe", "request", "wait", "unsubscribe", "log", "event"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(host.LogLines()[host.Calls()[5].index].message, "last");
    EXPECT_EQ(host.Events()[0].uri, "/b");
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
