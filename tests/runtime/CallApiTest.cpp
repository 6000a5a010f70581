#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "runtime/TelemetrySender.h"
#include "tests/runtime/RuntimeFixture.h"
#include "tests/support/AllocationFailure.h"

namespace Kesh::Testing {
namespace {

class CallApiTest : public RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        host.ClearRecords();
    }
    // Every request that reached the host had its reply released exactly once.
    void TearDown() override {
        for (const RecordedRequest& request : host.Requests()) {
            EXPECT_EQ(request.replyReleases, 1u) << request.url;
        }
        EXPECT_EQ(host.OutstandingReplies(), 0u);
        EXPECT_EQ(host.OpenStreams(), 0u);
        RuntimeTest::TearDown();
    }

    static std::string StreamText(std::size_t size) {
        std::string text = "\"";
        text.append(size - 2, 'x');
        return text + "\"";
    }
};

TEST_F(CallApiTest, GetOfAStoredValue) {
    BindingProperty stored;
    stored["zoom"] = 1.25;
    host.SetResource("/keshclient/zoom-scale", stored);
    const RequestResult<BindingProperty> result = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/keshclient/zoom-scale");
    ASSERT_TRUE(result.Succeeded());
    EXPECT_EQ(result.Value().GetMember("zoom").ToDouble(), 1.25);
    ASSERT_EQ(host.Requests().size(), 1u);
    const RecordedRequest& request = host.Requests()[0];
    EXPECT_EQ(request.Method(), HttpMethod::Get);
    EXPECT_EQ(request.clientId, host.ClientId());
    EXPECT_EQ(request.argumentCount, 0u);
    EXPECT_FALSE(request.hasHeaders || request.hasContentType || request.hasRawBody || request.hasUserData ||
                 request.hasCustomMethod);
}

// Every way a request fails, with the message and code it carries.
TEST_F(CallApiTest, FailuresCarryTheirMessageAndCode) {
    host.ReplyWithError(HttpMethod::Post, "/x", "broken", 0);
    host.ReplyWithError(HttpMethod::Custom, "/c", "no", 500);
    host.SetReply(HttpMethod::Get, "/odd", ReplyPlan::RawKind(11));
    host.ReplyWithValue(HttpMethod::Get, "/text", BindingProperty("abc"));
    host.ReplyWithStream(HttpMethod::Get, "/bad", StreamPlan{"{\"a\": ", 4096});
    host.ReplyWithStream(HttpMethod::Get, "/fails", StreamPlan{StreamText(10000), 4096, false, 2});
    const auto error = [](const auto& result) { return std::pair(result.Error().message, result.Error().code); };
    using Failure = std::pair<std::string, std::uint32_t>;
    struct Case {
        const char* name;
        std::function<Failure()> call;
        const char* message;  // the whole message, or its start when it ends in "..."
        std::uint32_t code;
    };
    const Case cases[] = {
        {"host error", [&] { return error(plugin->CallApi<BindingProperty>(HttpMethod::Get, "/nothing/here")); },
         "Error response for GET /nothing/here: Not found", 404},
        {"host error without a status", [&] { return error(plugin->CallApi(HttpMethod::Post, "/x")); },
         "Error response for POST /x: broken", 0},
        // Methods without a name text render as the empty text.
        {"custom method", [&] { return error(plugin->CallApi(HttpMethod::Custom, "/c")); },
         "Error response for  /c: no", 500},
        {"unknown method", [&] { return error(plugin->CallApi(static_cast<HttpMethod>(42), "/c")); },
         "Error response for  /c: Method not allowed", 405},
        {"a reply of no kind", [&] { return error(plugin->CallApi<BindingProperty>(HttpMethod::Get, "/odd")); },
         "Error converting response for GET /odd: ...", 0},
        {"a reply of the wrong type", [&] { return error(plugin->CallApi<std::int32_t>(HttpMethod::Get, "/text")); },
         "Error converting response for GET /text: Value abc for '<result>' of type int32 is in an incorrect format",
         0},
        {"a stream that is no JSON", [&] { return error(plugin->CallApi<BindingProperty>(HttpMethod::Get, "/bad")); },
         "Error reading streamed response for GET /bad: Error: ...", 0},
        {"a stream that breaks", [&] { return error(plugin->CallApi<BindingProperty>(HttpMethod::Get, "/fails")); },
         "Error reading streamed response for GET /fails: Stream read error", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto [message, code] = c.call();
        const std::string expected = c.message;
        if (expected.ends_with("...")) {
            EXPECT_EQ(message.substr(0, expected.size() - 3), expected.substr(0, expected.size() - 3));
        } else {
            EXPECT_EQ(message, expected);
        }
        EXPECT_EQ(code, c.code);
    }
    EXPECT_EQ(host.Requests()[2].method, 8u);
    EXPECT_EQ(host.Requests()[3].method, 0u);
    EXPECT_EQ(host.Requests().back().bodyReleases, 1u);

    // A host error's fields, for structured logs: errorCode_int only with a status.
    const auto missing = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/nothing/here");
    EXPECT_EQ(missing.Error().fields.at("method").StringValue(), "GET");
    EXPECT_EQ(missing.Error().fields.at("url").StringValue(), "/nothing/here");
    EXPECT_EQ(missing.Error().fields.at("error").StringValue(), "Not found");
    EXPECT_EQ(missing.Error().fields.at("errorCode_int").UnsignedValue(), 404u);
    EXPECT_EQ(plugin->CallApi(HttpMethod::Post, "/x").Error().fields.count("errorCode_int"), 0u);
    // A text that holds a number is one.
    host.ReplyWithValue(HttpMethod::Get, "/seven", BindingProperty("7"));
    EXPECT_EQ(plugin->CallApi<std::int32_t>(HttpMethod::Get, "/seven").Value(), 7);
}

TEST_F(CallApiTest, BodiesTravelAsOneUnnamedArgument) {
    ASSERT_TRUE(plugin->CallApi<BindingProperty>(HttpMethod::Post, "/keshclient/affinity", std::string("login")).Succeeded());
    const RecordedRequest& text = host.Requests().back();
    ASSERT_EQ(text.argumentCount, 1u);
    EXPECT_FALSE(text.arguments[0].hasName);
    EXPECT_EQ(text.arguments[0].kind, 6u);  // an owned string
    EXPECT_EQ(text.arguments[0].count, 5u);
    EXPECT_STREQ(text.Body().GetString(""), "login");

    ASSERT_TRUE(plugin->CallApi<BindingProperty>(HttpMethod::Post, "/keshclient/zoom-scale", 1.5).Succeeded());
    EXPECT_EQ(host.Requests().back().Body().Kind(), PropertyKind::Float);

    BindingProperty patch;
    patch["ZoomScale"] = 2.0;
    BindingProperty video;
    video["schemaVersion"] = 3;
    host.SetResource("/qor-settings/v1/local/video", video);
    ASSERT_TRUE(plugin->CallApi(HttpMethod::Patch, "/qor-settings/v1/local/video", patch).Succeeded());
    EXPECT_EQ(host.Requests().back().Body().GetMember("ZoomScale").ToDouble(), 2.0);
    EXPECT_EQ(host.Store("/qor-settings/v1/local/video").GetMember("ZoomScale").ToDouble(), 2.0);
}

TEST_F(CallApiTest, StreamedBodiesAreReadInPieces) {
    const std::string body = StreamText(10000);
    host.ReplyWithStream(HttpMethod::Get, "/big", StreamPlan{body, 4096});
    const auto whole = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/big");
    ASSERT_TRUE(whole.Succeeded()) << whole.Error().message;
    EXPECT_EQ(std::string(whole.Value().GetString("")).size(), 9998u);
    EXPECT_EQ(host.Requests().back().bodyReads, 3u);
    EXPECT_EQ(host.Requests().back().bodyReleases, 1u);
    EXPECT_EQ(host.WaitCount(), 0u);

    host.ReplyWithStream(HttpMethod::Get, "/slow", StreamPlan{body, 100});
    ASSERT_TRUE(plugin->CallApi<BindingProperty>(HttpMethod::Get, "/slow").Succeeded());
    EXPECT_EQ(host.Requests().back().bodyReads, 100u);
    EXPECT_EQ(host.WaitCount(), 99u);  // after every read but the last

    host.ReplyWithStream(HttpMethod::Get, "/empty", StreamPlan{"", 4096});
    const auto empty = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/empty");
    ASSERT_TRUE(empty.Succeeded());
    EXPECT_EQ(empty.Value().Kind(), PropertyKind::Empty);
}

// Without a reply type any successful reply will do, and its stream is not read but
// still ended; a read stream is ended once, after the last read.
TEST_F(CallApiTest, StreamsOfSuccessfulRepliesEndOnceReadOrNot) {
    BindingProperty value;
    value["ignored"] = true;
    host.ReplyWithValue(HttpMethod::Delete, "/value", value);
    host.SetReply(HttpMethod::Delete, "/odd", ReplyPlan::RawKind(11));
    EXPECT_TRUE(plugin->CallApi(HttpMethod::Delete, "/value").Succeeded());
    EXPECT_TRUE(plugin->CallApi(HttpMethod::Delete, "/odd").Succeeded());

    host.ReplyWithStream(HttpMethod::Delete, "/keshclient/affinity", StreamPlan{"{\"a\": 1}", 4096});
    host.ReplyWithStream(HttpMethod::Patch, "/qor-settings/v1/local/video", StreamPlan{"[1, 2]", 4096});
    host.ReplyWithStream(HttpMethod::Get, "/read", StreamPlan{"[1, 2]", 4096});
    BindingProperty patch;
    patch["ZoomScale"] = 2.0;
    EXPECT_TRUE(plugin->CallApi(HttpMethod::Delete, "/keshclient/affinity").Succeeded());
    EXPECT_TRUE(plugin->CallApi(HttpMethod::Patch, "/qor-settings/v1/local/video", patch).Succeeded());
    EXPECT_TRUE(plugin->CallApi<BindingProperty>(HttpMethod::Get, "/read").Succeeded());
    const std::vector<RecordedRequest>& requests = host.Requests();
    ASSERT_EQ(requests.size(), 5u);
    for (std::size_t i = 2; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].bodyReads, i == 4 ? 1u : 0u) << requests[i].url;
        EXPECT_EQ(requests[i].bodyReleases, 1u) << requests[i].url;
    }
}

// An error reply that carries a stream: only the error is taken, and the stream stays
// the host's (neither read nor ended).
using CallApiErrorStreamTest = RuntimeTest;
TEST_F(CallApiErrorStreamTest, StaysWithTheHost) {
    ReplyPlan plan = ReplyPlan::Error("Busy", 503);
    plan.stream = StreamPlan{"[1]", 4096};
    host.SetReply(HttpMethod::Get, "/busy", plan);
    host.SetReply(HttpMethod::Delete, "/busy", plan);
    const auto value = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/busy");
    ASSERT_FALSE(value.Succeeded());
    EXPECT_EQ(value.Error().message, "Error response for GET /busy: Busy");
    EXPECT_FALSE(plugin->CallApi(HttpMethod::Delete, "/busy").Succeeded());
    for (const RecordedRequest& request : host.Requests()) {
        EXPECT_EQ(request.replyReleases, 1u);
        EXPECT_EQ(request.bodyReads, 0u);
        EXPECT_EQ(request.bodyReleases, 0u);
    }
    EXPECT_EQ(host.OpenStreams(), 2u);
}

// Without a host to send to, a request fails with a message instead of passing for a
// success with nothing in it.
TEST(CallApiWithoutHost, FailsWithAMessage) {
    FakeHost host;
    HostRegistration record{};
    record.major = 18;
    auto* plugin = new TestPlugin();
    PluginBase::Register(plugin, &record, "test-plugin");
    const auto early = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/qor-login/v1/session");
    ASSERT_FALSE(early.Succeeded());
    EXPECT_EQ(early.Error().message,
              "Request not sent: No host connection for GET /qor-login/v1/session: the plugin is not initialised");
    EXPECT_EQ(early.Error().code, 0u);
    EXPECT_FALSE(plugin->CallApi(HttpMethod::Delete, "/keshclient/affinity").Succeeded());

    host.Api().request = nullptr;
    ASSERT_EQ(record.callbacks->init(record.plugin, &host.Context()), 1);
    const auto noEntry = plugin->CallApi(HttpMethod::Post, "/keshclient/affinity", std::string("login"));
    ASSERT_FALSE(noEntry.Succeeded());
    EXPECT_EQ(noEntry.Error().message,
              "Request not sent: No host connection for POST /keshclient/affinity: the host has no request function");
    record.callbacks->unload(record.plugin);
}

// A plugin whose requests run out of memory: allocations fail from number failFrom on,
// either until the host is called or from the moment the host returned.
class StarvedPlugin : public TestPlugin {
public:
    void Request(HostReply* reply, HostRequest* request) override {
        if (!afterHost && failure) failure->End();
        PluginBase::Request(reply, request);
        if (afterHost) failure.emplace(failFrom, true);
    }
    std::optional<Testing::AllocationFailure> failure;
    std::uint64_t failFrom = 0;
    bool afterHost = false;
};

class CallApiOutOfMemoryTest : public CallApiTest {
protected:
    void SetUp() override {
        CallApiTest::SetUp();
        starvedRecord.major = 18;
        starved = new StarvedPlugin();
        PluginBase::Register(starved, &starvedRecord, "starved-plugin");
        ASSERT_EQ(starvedRecord.callbacks->init(starvedRecord.plugin, &host.Context()), 1);
        host.ClearRecords();
    }
    void TearDown() override {
        starvedRecord.callbacks->unload(starvedRecord.plugin);
        CallApiTest::TearDown();
    }

    // Runs call with memory failing from each allocation number in turn (before or after
    // the host) until it needs no more than were allowed; each run either completes or
    // ends in bad_alloc. Returns how many runs failed.
    template <typename Call>
    std::uint64_t Sweep(bool afterHost, Call&& call) {
        starved->afterHost = afterHost;
        for (std::uint64_t n = 1;; ++n) {
            starved->failFrom = n;
            if (!afterHost) starved->failure.emplace(n, true);
            bool triggered = false;
            try {
                call();
            } catch (const std::bad_alloc&) {
            }
            if (starved->failure) {
                triggered = starved->failure->Triggered();
                starved->failure.reset();
            }
            if (!triggered) return n - 1;
        }
    }

    HostRegistration starvedRecord{};
    StarvedPlugin* starved = nullptr;
};

TEST_F(CallApiOutOfMemoryTest, WhileTheBodyIsConverted) {
    BindingProperty body;
    body["schemaVersion"] = 1;
    body["data"]["ZoomScale"] = 1.5;
    body["data"]["names"].Append() = "zoom";
    host.SetResource("/qor-settings/v1/local/video", body);
    const std::uint64_t failed =
        Sweep(false, [&] { starved->CallApi(HttpMethod::Patch, "/qor-settings/v1/local/video", body); });
    EXPECT_GE(failed, 5u);
    EXPECT_EQ(host.Requests().size(), 1u);  // only the run that had memory enough reached the host
}

// Whatever runs out after the host returned, its reply (and stream) is released once:
// the TearDown checks every recorded request.
TEST_F(CallApiOutOfMemoryTest, WhileTheReplyIsRead) {
    BindingProperty value;
    value["zoom"]["steps"].Append() = 1.25;
    value["zoom"]["name"] = "large";
    host.ReplyWithValue(HttpMethod::Get, "/value", value);
    // Value trees take their storage from the block allocator, not the heap: fewer points fail here.
    EXPECT_GE(Sweep(true, [&] { starved->CallApi<BindingProperty>(HttpMethod::Get, "/value"); }), 2u);
    host.ReplyWithStream(HttpMethod::Get, "/stream", StreamPlan{"{\"zoom\": [1.25, \"large\"]}", 4096});
    // The JSON reader keeps a short body's scratch inside itself: what fails is the stream's own.
    EXPECT_GE(Sweep(true, [&] { starved->CallApi<BindingProperty>(HttpMethod::Get, "/stream"); }), 1u);
    for (const RecordedRequest& request : host.Requests()) {
        EXPECT_EQ(request.bodyReleases, request.streamed ? 1u : 0u) << request.url;
    }
}

TEST_F(CallApiTest, TelemetryPostsToItsResource) {
    auto future = plugin->Telemetry()->Send("a/b", {});
    ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    EXPECT_TRUE(future.get().Succeeded());
    ASSERT_EQ(host.Requests().size(), 1u);
    EXPECT_EQ(host.Requests()[0].Method(), HttpMethod::Post);
    EXPECT_EQ(host.Requests()[0].url, "/telemetry/v1/events/a/b");
    EXPECT_EQ(host.Requests()[0].Body().Kind(), PropertyKind::Structure);
    EXPECT_EQ(host.Requests()[0].Body().Size(), 0u);
}

}  // namespace
}  // namespace Kesh::Testing
