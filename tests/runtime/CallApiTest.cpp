#include <gtest/gtest.h>

#include <string>

#include "runtime/TelemetrySender.h"
#include "tests/runtime/RuntimeFixture.h"

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

TEST_F(CallApiTest, HostErrorsCarryTheirStatus) {
    const auto missing = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/nothing/here");
    ASSERT_FALSE(missing.Succeeded());
    EXPECT_EQ(missing.Error().code, 404u);
    EXPECT_EQ(missing.Error().message, "Error response for GET /nothing/here: Not found");
    EXPECT_EQ(missing.Error().fields.at("method").StringValue(), "GET");
    EXPECT_EQ(missing.Error().fields.at("url").StringValue(), "/nothing/here");
    EXPECT_EQ(missing.Error().fields.at("error").StringValue(), "Not found");
    EXPECT_EQ(missing.Error().fields.at("errorCode_int").UnsignedValue(), 404u);

    host.ReplyWithError(HttpMethod::Post, "/x", "broken", 0);
    const auto noStatus = plugin->CallApi(HttpMethod::Post, "/x");
    ASSERT_FALSE(noStatus.Succeeded());
    EXPECT_EQ(noStatus.Error().code, 0u);
    EXPECT_EQ(noStatus.Error().fields.count("errorCode_int"), 0u);

    // Methods without a name text render as the empty text.
    host.ReplyWithError(HttpMethod::Custom, "/c", "no", 500);
    EXPECT_EQ(plugin->CallApi(HttpMethod::Custom, "/c").Error().message, "Error response for  /c: no");
    EXPECT_EQ(host.Requests().back().method, 8u);
    EXPECT_EQ(plugin->CallApi(static_cast<HttpMethod>(42), "/c").Error().message.substr(0, 19), "Error response for ");
    EXPECT_EQ(host.Requests().back().method, 0u);
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

TEST_F(CallApiTest, NoReplyTypeSucceedsWhateverTheValue) {
    BindingProperty value;
    value["ignored"] = true;
    host.ReplyWithValue(HttpMethod::Delete, "/keshclient/affinity", value);
    EXPECT_TRUE(plugin->CallApi(HttpMethod::Delete, "/keshclient/affinity").Succeeded());
    host.SetReply(HttpMethod::Delete, "/keshclient/affinity", ReplyPlan::RawKind(11));
    EXPECT_TRUE(plugin->CallApi(HttpMethod::Delete, "/keshclient/affinity").Succeeded());
}

TEST_F(CallApiTest, ReplyConversionFailures) {
    host.SetReply(HttpMethod::Get, "/odd", ReplyPlan::RawKind(11));
    const auto odd = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/odd");
    ASSERT_FALSE(odd.Succeeded());
    EXPECT_EQ(odd.Error().message.rfind("Error converting response for GET /odd: ", 0), 0u) << odd.Error().message;

    host.ReplyWithValue(HttpMethod::Get, "/text", BindingProperty("abc"));
    const auto number = plugin->CallApi<std::int32_t>(HttpMethod::Get, "/text");
    ASSERT_FALSE(number.Succeeded());
    EXPECT_EQ(number.Error().message,
              "Error converting response for GET /text: Value abc for '<result>' of type int32 is in an incorrect format");
    host.ReplyWithValue(HttpMethod::Get, "/seven", BindingProperty("7"));
    EXPECT_EQ(plugin->CallApi<std::int32_t>(HttpMethod::Get, "/seven").Value(), 7);
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

    host.ReplyWithStream(HttpMethod::Get, "/bad", StreamPlan{"{\"a\": ", 4096});
    const auto bad = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/bad");
    ASSERT_FALSE(bad.Succeeded());
    EXPECT_EQ(bad.Error().message.rfind("Error reading streamed response for GET /bad: Error: ", 0), 0u)
        << bad.Error().message;

    host.ReplyWithStream(HttpMethod::Get, "/empty", StreamPlan{"", 4096});
    const auto empty = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/empty");
    ASSERT_TRUE(empty.Succeeded());
    EXPECT_EQ(empty.Value().Kind(), PropertyKind::Empty);

    host.ReplyWithStream(HttpMethod::Get, "/fails", StreamPlan{body, 4096, false, 2});
    const auto failed = plugin->CallApi<BindingProperty>(HttpMethod::Get, "/fails");
    ASSERT_FALSE(failed.Succeeded());
    EXPECT_EQ(failed.Error().message, "Error reading streamed response for GET /fails: Stream read error");
    EXPECT_EQ(host.Requests().back().bodyReleases, 1u);
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
