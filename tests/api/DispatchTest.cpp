// Argument binding and reply writing through functions declared in this process, for
// the rules the sample plugin's functions cannot show.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/ArgumentBinder.h"
#include "api/Dispatch.h"
#include "api/ExposeFunction.h"
#include "binding/StructDeclaration.h"
#include "tests/api/ApiCall.h"
#include "tests/support/Unpacked.h"

namespace Kesh {
namespace {

using Testing::Unpacked;

struct Options {
    std::string name;
    std::int32_t level = 0;
};

class DispatchTest : public ::testing::Test {
protected:
    DispatchTest() {
        StructDeclaration<Options>(registry_, "Options").Field("name", &Options::name).Field("level", &Options::level);
        ExposeFunction(
            registry_, {.name = "Probe", .url = "/probe/{id}"},
            [](std::int32_t id, bool flag, std::optional<bool> maybe, const Options& options,
               const std::vector<std::int64_t>& list, const std::string& userAgent) {
                BindingProperty seen;
                seen["id"] = id;
                seen["flag"] = flag;
                seen["maybe"] = maybe.has_value() ? (*maybe ? "true" : "false") : "unset";
                seen["options"] = options.name + "/" + std::to_string(options.level);
                seen["list"] = static_cast<std::int64_t>(list.size());
                seen["userAgent"] = userAgent;
                return seen;
            },
            {InPath("id"), Anywhere("flag"), Anywhere("maybe"), Anywhere("options").Optional(),
             Anywhere("list").Optional(), InHeader("userAgent").Optional()});
        ExposeFunction(registry_, {.name = "Throws"}, []() -> std::int32_t { throw std::runtime_error("boom"); });
        ExposeFunction(registry_, {.name = "Detailed"}, [] {
            return ApiResult<std::string>("made").Status(201).ContentType("text/plain").Header("x-a", "1");
        });
        table_ = BuildApiTable(registry_, storage_);
    }

    Testing::ApiOutcome Call(const char* name, const char* url, std::vector<HostHeader> headers = {}) {
        HostRequest request = Testing::Get(url);
        request.headers = headers.empty() ? nullptr : headers.data();
        request.headerCount = static_cast<std::uint32_t>(headers.size());
        return Testing::CallFunction(*table_, name, request);
    }

    TypeRegistry registry_;
    ApiTableStorage storage_;
    ApiTable* table_ = nullptr;
};

// A std::optional parameter is optional by itself; arguments are found by name, so a
// declaration that repeats a name is refused (one without a name: RegistrationMistake).
TEST_F(DispatchTest, DeclarationsDescribeTheSignature) {
    const FunctionRecord* probe = registry_.FindFunction("Probe");
    ASSERT_NE(probe, nullptr);
    ASSERT_EQ(probe->arguments.size(), 6u);
    EXPECT_EQ(probe->arguments[2].type.kind, TypeKind::Bool);
    EXPECT_TRUE(probe->arguments[2].optional);
    EXPECT_FALSE(probe->arguments[1].optional);
    EXPECT_EQ(probe->arguments[3].type.record, registry_.FindType("Options"));

    auto twice = [](std::int32_t, std::int32_t) { return 0; };
    EXPECT_EQ(ExposeFunction(registry_, {.name = "Twice"}, twice, {Anywhere("a"), Anywhere("a")}), nullptr);
    EXPECT_EQ(registry_.FindFunction("Twice"), nullptr);
}

TEST_F(DispatchTest, BindsEachSourceByItsRules) {
    struct Case {
        const char* url;
        std::vector<HostHeader> headers;
        const char* error;
        const char* id = "";  // what the function saw, member by member
        bool flag = false;
        const char* maybe = "";
        const char* options = "";
        std::int64_t list = 0;
        const char* userAgent = "";
    };
    const Case cases[] = {
        // A required bool nobody names is false; an optional one stays unset.
        {"/probe/1", {}, "", "1", false, "unset", "/0", 0, ""},
        {"/probe/1?flag&maybe", {}, "", "1", true, "true", "/0", 0, ""},
        {"/probe/1?maybe=false", {}, "", "1", false, "false", "/0", 0, ""},
        {"/probe/1?options.name=x&options.level=3", {}, "", "1", false, "unset", "x/3", 0, ""},
        {"/probe/1?options=%7B%22name%22%3A%22j%22%7D", {}, "", "1", false, "unset", "j/0", 0, ""},
        {"/probe/1?list.3=7", {}, "", "1", false, "unset", "/0", 4, ""},
        // MessagePack by its 16-bit array header.
        {"/probe/1?list=%DC%00%02%01%02", {}, "", "1", false, "unset", "/0", 2, ""},
        // Headers are looked up by the lower-case parameter name, exactly as sent.
        {"/probe/1", {{"useragent", "ua"}}, "", "1", false, "unset", "/0", 0, "ua"},
        {"/probe/1", {{"userAgent", "ua"}}, "", "1", false, "unset", "/0", 0, ""},
        {"/probe/1", {{"flag", "true"}}, "", "1", true, "unset", "/0", 0, ""},
        // Headers reach only arguments that allow them: a path argument never sees one.
        {"/probe/1", {{"id", "2"}}, "", "1", false, "unset", "/0", 0, ""},
        // A container text is sniffed only for container parameters.
        {"/probe/[1,2]", {}, "Value [1,2] for 'id' of type int32 is in an incorrect format"},
        {"/probe/1?maybe=maybe", {}, nullptr},
        {"/probe/1?list=---%0A%20%20-%20[", {}, "Couldn't deserialize YAML value for parameter 'list' of 'Probe': "},
        {"/probe/1?list=%81%01%01", {}, "Couldn't deserialize MessagePack value for parameter 'list' of 'Probe': "},
    };
    for (const Case& c : cases) {
        const Testing::ApiOutcome outcome = Call("Probe", c.url, c.headers);
        if (c.error == nullptr) {
            EXPECT_NE(outcome.error, "") << c.url;
            continue;
        }
        if (*c.error != '\0') {
            EXPECT_EQ(outcome.error.substr(0, std::strlen(c.error)), c.error) << c.url;
            EXPECT_EQ(outcome.status, 0u) << c.url;
            continue;
        }
        ASSERT_EQ(outcome.error, "") << c.url;
        const BindingProperty& seen = outcome.value;
        EXPECT_EQ(seen.GetMember("id").GetSigned(), std::stoll(c.id)) << c.url;
        EXPECT_EQ(seen.GetMember("flag").ToBool(), c.flag) << c.url;
        EXPECT_EQ(seen.GetMember("maybe").GetStringView(), c.maybe) << c.url;
        EXPECT_EQ(seen.GetMember("options").GetStringView(), c.options) << c.url;
        EXPECT_EQ(seen.GetMember("list").GetSigned(), c.list) << c.url;
        EXPECT_EQ(seen.GetMember("userAgent").GetStringView(), c.userAgent) << c.url;
    }
}

// A thrown exception is a failure with status 500; what an ApiResult sets reaches the
// reply.
TEST_F(DispatchTest, FunctionOutcomesReachTheReply) {
    const Testing::ApiOutcome thrown = Call("Throws", "Throws");
    EXPECT_EQ(thrown.error, "boom");
    EXPECT_EQ(thrown.status, 500u);
    const Testing::ApiOutcome detailed = Call("Detailed", "Detailed");
    EXPECT_EQ(detailed.Text(), "made");
    EXPECT_EQ(detailed.status, 201u);
    EXPECT_EQ(detailed.contentType, "text/plain");
    EXPECT_EQ(detailed.headers, (std::vector<std::pair<std::string, std::string>>{{"x-a", "1"}}));
}

TEST(WriteReply, CopiesTheCallResultsParts) {
    struct Case {
        std::uint32_t replyCode;
        std::uint32_t written;
    };
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{3, 3}, Case{4, 0}, Case{0xFFFFFFFF, 0}}) {
        CallResult result;
        result.replyFlag = 1;
        result.replyCode = c.replyCode;
        result.statusCode = 299;
        result.result.Value() = "v";
        result.headers.Set("a", "1");
        result.headers.Set("b", "2");
        result.headers.Set("a", "3");
        HostReply reply{};
        WriteReply(reply, result, nullptr);
        EXPECT_EQ(Unpacked(reply.replyCode), c.written);
        EXPECT_EQ(reply.replyFlag, 1);
        EXPECT_EQ(Unpacked(reply.statusCode), 299u);
        EXPECT_EQ(Unpacked(reply.contentType), HostReplyEmptyText());
        ASSERT_EQ(Unpacked(reply.headerCount), 2u);
        EXPECT_STREQ(reply.headers[0].name, "a");
        EXPECT_STREQ(reply.headers[0].value, "3");
        EXPECT_STREQ(reply.headers[1].value, "2");
        ReleaseHostReply(&reply);
    }
    // A failed result loses its stream and carries its message.
    struct Stream : ReplyStream {
        bool* gone;
        explicit Stream(bool* flag) : gone(flag) {}
        ~Stream() override { *gone = true; }
        bool Read(char*, std::uint32_t& length, std::uint8_t& more) override { return length = 0, more = 0, true; }
        std::uint32_t Size() const override { return 0; }
    };
    bool gone = false;
    CallResult failed;
    failed.body = std::make_unique<Stream>(&gone);
    failed.contentType = "text/plain";
    failed.Fail("bad", 409);
    EXPECT_TRUE(gone);
    HostReply reply{};
    WriteReply(reply, failed, nullptr);
    EXPECT_STREQ(reply.result.errorText, "bad");
    EXPECT_EQ(Unpacked(reply.statusCode), 409u);
    EXPECT_STREQ(reply.contentType, "text/plain");
    EXPECT_EQ(Unpacked(reply.bodyOwner), nullptr);
    ReleaseHostReply(&reply);
}

TEST(DecodeBody, ContentTypesAndTheBodysOwnLength) {
    const std::uint8_t json[] = {'[', '1', ']', 'x'};  // no NUL: the length ends it
    EXPECT_TRUE(DecodeBody("application/json", json, 3).Ok());
    EXPECT_FALSE(DecodeBody("application/json", json, 4).Ok());
    const std::uint8_t msgpack[] = {0x92, 0x01, 0x02, 0x03};
    EXPECT_TRUE(DecodeBody("application/x-msgpack", msgpack, 3).Ok());
    EXPECT_STREQ(DecodeBody("application/x-msgpack", msgpack, 4).ErrorMessage(), "Extra MessgePack data found in body");
    EXPECT_STREQ(DecodeBody(nullptr, msgpack, 3).ErrorMessage(), "Unsupported body content type");
    EXPECT_STREQ(DecodeBody("application/jso", json, 3).ErrorMessage(), "Unsupported body content type");
    EXPECT_STREQ(DecodeBody("", json, 3).ErrorMessage(), "Unsupported body content type");
    const std::uint8_t yaml[] = {'a', ':', ' ', '1', 0, '!'};
    const ConversionResult read = DecodeBody("Application/X-Yaml", yaml, sizeof yaml);
    ASSERT_TRUE(read.Ok()) << read.ErrorMessage();
    EXPECT_EQ(read.Value().GetMember("a").ToDouble(), 1.0);
}

}  // namespace
}  // namespace Kesh
