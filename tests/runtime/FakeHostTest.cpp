#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "binding/HostValueConversion.h"
#include "platform/Allocator.h"
#include "runtime/EventName.h"
#include "runtime/HostEvent.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "tests/support/fakehost/FakeHost.h"

namespace Kesh::Testing {
namespace {

// Calls the request entry the way a plugin does and keeps the reply for inspection.
struct Call {
    HostRequest request{};
    HostArgument argument{};
    HostReply reply{};

    Call(FakeHost& host, HttpMethod method, const char* url) {
        request.method = static_cast<std::uint32_t>(method);
        request.url = url;
        request.clientId = host.ClientId();
    }
    Call& WithBody(const BindingProperty& body) {
        ToHostValue(body, argument.value);
        request.arguments = &argument;
        request.argumentCount = 1;
        return *this;
    }
    Call& Send(FakeHost& host) {
        host.Api().request(&host.Api(), &reply, &request);
        argument.value.Release();
        return *this;
    }
    BindingProperty Result() const {
        BindingProperty value;
        HostResultHead head{};
        EXPECT_TRUE(FromHostValue(reply.result.value, value, "<result>", head));
        head.Release();
        return value;
    }
    std::string Error() const { return reply.result.hasError ? reply.result.errorText : "(none)"; }
    void Release() { reply.release(&reply); }
};

BindingProperty Settings() {
    BindingProperty value;
    value["zoom"] = 1.5;
    value["name"] = "video";
    return value;
}

TEST(FakeHost, ResourcesAnswerEachMethod) {
    FakeHost host;
    host.SetResource("/a", Settings());

    Call get(host, HttpMethod::Get, "/a");
    get.Send(host);
    EXPECT_FALSE(get.reply.result.hasError);
    EXPECT_EQ(get.reply.statusCode, 200u);
    EXPECT_EQ(get.reply.readBody, nullptr);
    EXPECT_STREQ(get.reply.contentType, "application/json");
    const BindingProperty got = get.Result();
    EXPECT_EQ(got.GetMember("zoom").GetFloat(), 1.5);
    EXPECT_STREQ(got.GetMember("name").GetString(), "video");
    get.Release();
    EXPECT_EQ(get.reply.result.value.kind, HostValueKind::Empty);

    Call missing(host, HttpMethod::Get, "/nothing");
    missing.Send(host);
    EXPECT_EQ(missing.Error(), "Not found");
    EXPECT_EQ(missing.reply.statusCode, 404u);
    missing.Release();

    Call put(host, HttpMethod::Put, "/b");
    put.WithBody(BindingProperty("login")).Send(host).Release();
    EXPECT_STREQ(host.Store("/b").GetString(), "login");

    BindingProperty patch;
    patch["zoom"] = 2.0;
    patch["extra"] = true;
    Call patchA(host, HttpMethod::Patch, "/a");
    patchA.WithBody(patch).Send(host).Release();
    EXPECT_EQ(host.Store("/a").GetMember("zoom").GetFloat(), 2.0);
    EXPECT_STREQ(host.Store("/a").GetMember("name").GetString(), "video");
    EXPECT_TRUE(host.Store("/a").GetMember("extra").ToBool());

    Call patchMissing(host, HttpMethod::Patch, "/none");
    patchMissing.WithBody(patch).Send(host);
    EXPECT_EQ(patchMissing.reply.statusCode, 404u);
    patchMissing.Release();

    Call post(host, HttpMethod::Post, "/b");
    post.WithBody(BindingProperty(3.25)).Send(host);
    EXPECT_TRUE(post.Result().IsEmpty());
    post.Release();
    EXPECT_STREQ(host.Store("/b").GetString(), "login");  // a post changes nothing

    Call remove(host, HttpMethod::Delete, "/b");
    remove.Send(host).Release();
    EXPECT_FALSE(host.HasResource("/b"));

    Call head(host, HttpMethod::Head, "/a");
    head.Send(host);
    EXPECT_EQ(head.reply.statusCode, 405u);
    head.Release();

    // Every request recorded in order, the text body with its raw record.
    const std::vector<RecordedRequest>& requests = host.Requests();
    ASSERT_EQ(requests.size(), 8u);
    EXPECT_EQ(requests[0].Method(), HttpMethod::Get);
    EXPECT_EQ(requests[0].url, "/a");
    EXPECT_EQ(requests[0].clientId, FakeHost::kDefaultClientId);
    EXPECT_EQ(requests[0].argumentCount, 0u);
    const RecordedArgument& text = requests[2].arguments.at(0);
    EXPECT_FALSE(text.hasName);
    EXPECT_EQ(text.kind, 6u);
    EXPECT_EQ(text.count, 5u);
    EXPECT_STREQ(requests[2].Body().GetString(), "login");
    EXPECT_EQ(requests[5].Body().GetFloat(), 3.25);
    EXPECT_TRUE(requests[1].answeredWithError);
    for (const RecordedRequest& request : requests) {
        EXPECT_EQ(request.replyReleases, 1u) << request.url;
        EXPECT_FALSE(request.hasHeaders || request.hasContentType || request.hasRawBody || request.hasUserData ||
                     request.hasCustomMethod);
    }
    EXPECT_EQ(host.OutstandingReplies(), 0u);
}

TEST(FakeHost, FixedRepliesTakeThePlaceOfTheStore) {
    FakeHost host(5);
    host.SetResource("/a", Settings());
    host.ReplyWithError(HttpMethod::Get, "/a", "Gone away", 0);
    host.ReplyWithValue(HttpMethod::Post, "/kill", BindingProperty(std::int64_t{42}));
    ReplyPlan both = ReplyPlan::Error("Broken", 500);
    both.value = "ignored";
    both.stream = StreamPlan{"[1]"};
    host.SetReply(HttpMethod::Put, "/a", both);
    host.SetReply(HttpMethod::None, "/odd", ReplyPlan::RawKind(11));

    Call get(host, HttpMethod::Get, "/a");
    get.Send(host);
    EXPECT_EQ(get.Error(), "Gone away");
    EXPECT_EQ(get.reply.statusCode, 0u);
    get.Release();

    Call post(host, HttpMethod::Post, "/kill");
    post.Send(host);
    EXPECT_EQ(post.Result().GetSigned(), 42);
    post.Release();

    // An error can come with a value and a stream; the stream stays the host's when the
    // reader never releases it.
    Call put(host, HttpMethod::Put, "/a");
    put.WithBody(BindingProperty(1)).Send(host);
    EXPECT_EQ(put.Error(), "Broken");
    EXPECT_EQ(put.reply.result.value.kind, HostValueKind::OwnedString);
    EXPECT_NE(put.reply.readBody, nullptr);
    put.Release();
    EXPECT_EQ(host.Store("/a").GetMember("zoom").GetFloat(), 1.5);
    EXPECT_EQ(host.OpenStreams(), 1u);

    Call odd(host, static_cast<HttpMethod>(9), "/odd");  // an unknown number is no method
    odd.Send(host);
    EXPECT_EQ(static_cast<std::uint32_t>(odd.reply.result.value.kind), 11u);
    odd.Release();
    odd.Release();  // counted, frees nothing twice
    EXPECT_EQ(host.Requests().back().method, 9u);
    EXPECT_EQ(host.Requests().back().replyReleases, 2u);
    EXPECT_EQ(host.Requests().back().clientId, 5u);
}

// Reads a streamed body the way the plugin does, recording each piece's length and
// more-data byte.
struct Pieces {
    std::vector<std::uint32_t> lengths;
    std::vector<int> moreData;
    std::string text;
    bool failed = false;
};

Pieces ReadAll(HostReply& reply) {
    Pieces pieces;
    char buffer[4096];
    std::uint8_t more = 1;
    while (more != 0 && pieces.lengths.size() < 1000) {
        std::uint32_t length = sizeof buffer;
        if (reply.readBody(reply.bodyOwner, buffer, &length, &more) == 0) {
            pieces.failed = true;
            break;
        }
        pieces.lengths.push_back(length);
        pieces.moreData.push_back(more);
        pieces.text.append(buffer, length);
    }
    reply.releaseBody(reply.bodyOwner);
    return pieces;
}

TEST(FakeHost, StreamsArriveInTheChosenPieces) {
    FakeHost host;
    const std::string text = "\"" + std::string(9998, 'x') + "\"";
    host.ReplyWithStream(HttpMethod::Get, "/big", StreamPlan{text});
    host.ReplyWithStream(HttpMethod::Get, "/small", StreamPlan{text, 100});
    host.ReplyWithStream(HttpMethod::Get, "/tail", StreamPlan{"{}", 100, true});
    host.ReplyWithStream(HttpMethod::Get, "/broken", StreamPlan{text, 100, false, 3});

    Call big(host, HttpMethod::Get, "/big");
    big.Send(host);
    EXPECT_EQ(big.reply.bodySizeHint, 10000u);
    const Pieces whole = ReadAll(big.reply);
    EXPECT_EQ(whole.lengths, (std::vector<std::uint32_t>{4096, 4096, 1808}));
    EXPECT_EQ(whole.moreData, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(whole.text, text);
    big.Release();

    Call small(host, HttpMethod::Get, "/small");
    small.Send(host);
    const Pieces hundred = ReadAll(small.reply);
    ASSERT_EQ(hundred.lengths.size(), 100u);
    EXPECT_EQ(hundred.lengths[0], 100u);
    EXPECT_EQ(hundred.moreData[98], 1);
    EXPECT_EQ(hundred.moreData[99], 0);
    EXPECT_EQ(hundred.text, text);
    small.Release();

    Call tail(host, HttpMethod::Get, "/tail");
    tail.Send(host);
    const Pieces extra = ReadAll(tail.reply);
    EXPECT_EQ(extra.lengths, (std::vector<std::uint32_t>{2, 0}));
    EXPECT_EQ(extra.moreData, (std::vector<int>{1, 0}));
    tail.Release();

    Call broken(host, HttpMethod::Get, "/broken");
    broken.Send(host);
    const Pieces failed = ReadAll(broken.reply);
    EXPECT_TRUE(failed.failed);
    EXPECT_EQ(failed.lengths.size(), 2u);
    broken.Release();

    const std::vector<RecordedRequest>& requests = host.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].bodyReads, 3u);
    EXPECT_EQ(requests[1].bodyReads, 100u);
    EXPECT_EQ(requests[3].bodyReads, 3u);
    for (const RecordedRequest& request : requests) {
        EXPECT_TRUE(request.streamed);
        EXPECT_EQ(request.bodyReleases, 1u);
        EXPECT_EQ(request.replyReleases, 1u);
    }
    EXPECT_EQ(host.OpenStreams(), 0u);
}

struct Received {
    std::vector<std::string> names;
    std::vector<BindingProperty> payloads;
};

void PZL_CDECL Record(HostEvent* event) {
    auto* received = static_cast<Received*>(event->context);
    received->names.push_back(event->name);
    BindingProperty payload;
    HostResultHead head{};
    FromHostValue(event->payload, payload, "<payload>", head);
    head.Release();
    received->payloads.push_back(payload);
}

TEST(FakeHost, SubscriptionsReceiveTheirEvents) {
    FakeHost host;
    Received first;
    Received second;
    HostApi& api = host.Api();
    const std::string session = EventName("/qor-login/v1/session");
    api.subscribe(&api, session.c_str(), 77, &Record, &first, 0);
    api.subscribe(&api, "OnServiceProxyUuidEvent", 77, &Record, &second, 1);

    EXPECT_TRUE(host.DeliverResourceEvent("/qor-login/v1/session", "Update", BindingProperty("in")));
    ASSERT_EQ(first.payloads.size(), 1u);
    EXPECT_EQ(first.names[0], session);
    EXPECT_STREQ(first.payloads[0].GetMember("uri").GetString(), "/qor-login/v1/session");
    EXPECT_STREQ(first.payloads[0].GetMember("eventType").GetString(), "Update");
    EXPECT_STREQ(first.payloads[0].GetMember("data").GetString(), "in");
    EXPECT_TRUE(host.DeliverResourceEvent("/qor-login/v1/session", 2, BindingProperty()));
    EXPECT_EQ(first.payloads[1].GetMember("eventType").GetSigned(), 2);
    EXPECT_TRUE(second.payloads.empty());

    EXPECT_FALSE(host.Deliver("OnNobody", BindingProperty(1)));
    api.unsubscribe(&api, session.c_str(), 77);
    api.unsubscribe(&api, session.c_str(), 77);
    EXPECT_FALSE(host.DeliverResourceEvent("/qor-login/v1/session", "Delete", BindingProperty()));
    EXPECT_EQ(first.payloads.size(), 2u);

    ASSERT_EQ(host.Subscriptions().size(), 2u);
    EXPECT_EQ(host.Subscriptions()[1].flags, 1u);
    EXPECT_EQ(host.Subscriptions()[1].context, &second);
    ASSERT_EQ(host.Unsubscriptions().size(), 2u);
    EXPECT_TRUE(host.Unsubscriptions()[0].wasActive);
    EXPECT_FALSE(host.Unsubscriptions()[1].wasActive);
    ASSERT_EQ(host.ActiveSubscriptions().size(), 1u);
    EXPECT_TRUE(host.IsSubscribed("OnServiceProxyUuidEvent"));
}

// A handler that ends every subscription of the event it receives.
struct Unsubscriber {
    FakeHost* host;
    int calls = 0;
};

void PZL_CDECL UnsubscribeOnEvent(HostEvent* event) {
    auto* self = static_cast<Unsubscriber*>(event->context);
    ++self->calls;
    self->host->Api().unsubscribe(&self->host->Api(), event->name, self->host->ClientId());
}

TEST(FakeHost, AnEndedSubscriptionReceivesNothingMore) {
    FakeHost host;
    Unsubscriber first{&host};
    Unsubscriber second{&host};
    HostApi& api = host.Api();
    api.subscribe(&api, "OnX", host.ClientId(), &UnsubscribeOnEvent, &first, 0);
    api.subscribe(&api, "OnX", host.ClientId(), &UnsubscribeOnEvent, &second, 0);
    EXPECT_TRUE(host.Deliver("OnX", BindingProperty()));
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 0);
    EXPECT_FALSE(host.Deliver("OnX", BindingProperty()));
}

TEST(FakeHost, RecordsLogsWaitsAndOtherEntries) {
    FakeHost host;
    HostApi& api = host.Api();
    host.SetWaitResult(0x1122334455667788ull);
    api.log(&api, 3, "hello");
    api.waitStep1(&api, "Wait: yield", 0);
    api.waitStep2(&api);
    EXPECT_EQ(api.waitStep3(&api), 0x1122334455667788ull);
    api.entry1(&api, 1, 2);
    api.entry2(&api, 3);
    api.entry5(&api, 4, 5, 6, 0.5, 7);

    ASSERT_EQ(host.LogLines().size(), 1u);
    EXPECT_EQ(host.LogLines()[0].level, 3);
    EXPECT_EQ(host.LogLines()[0].message, "hello");
    ASSERT_EQ(host.WaitCalls().size(), 3u);
    EXPECT_EQ(host.WaitCalls()[0].entry, 7);
    EXPECT_EQ(host.WaitCalls()[0].label, "Wait: yield");
    EXPECT_EQ(host.WaitCalls()[1].entry, 6);
    EXPECT_EQ(host.WaitCalls()[2].entry, 8);
    EXPECT_EQ(host.WaitCount(), 1u);
    ASSERT_EQ(host.OtherCalls().size(), 3u);
    EXPECT_EQ(host.OtherCalls()[2].words, (std::vector<std::uint32_t>{4, 5, 6, 7}));
    EXPECT_EQ(host.OtherCalls()[2].value, 0.5);

    host.ClearRecords();
    EXPECT_TRUE(host.LogLines().empty());
    EXPECT_TRUE(host.WaitCalls().empty());
}

// Everything the host hands out comes back through its own release functions.
TEST(FakeHost, LeavesNoAllocationBehind) {
    auto round = [] {
        FakeHost host;
        host.SetResource("/a", Settings());
        host.ReplyWithError(HttpMethod::Get, "/e", "Not here", 404);
        host.ReplyWithStream(HttpMethod::Get, "/s", StreamPlan{"[1,2,3]", 2});
        Call(host, HttpMethod::Get, "/a").Send(host).Release();
        Call(host, HttpMethod::Get, "/e").Send(host).Release();
        Call stream(host, HttpMethod::Get, "/s");
        stream.Send(host);
        ReadAll(stream.reply);
        stream.Release();
        Call(host, HttpMethod::Put, "/p").WithBody(Settings()).Send(host).Release();
        host.Deliver("OnNobody", Settings());
        EXPECT_EQ(host.OutstandingReplies(), 0u);
    };
    round();  // first use of shared tables
    const Memory::AllocationCounters before = Memory::ReadCounters();
    round();
    const Memory::AllocationCounters after = Memory::ReadCounters();
    EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount);
    EXPECT_EQ(after.bytesAllocated - before.bytesAllocated, after.bytesFreed - before.bytesFreed);
}

}  // namespace
}  // namespace Kesh::Testing
