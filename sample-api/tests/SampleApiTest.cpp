// The sample plugin loaded as the host loads it: each function found by name in its
// API table and called through the record's handler with host-built requests.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <pzl/binding/HostValueConversion.h>
#include <pzl/binding/detail/TypeKind.h>
#include "tests/SampleHost.h"

namespace SampleTest {
namespace {

constexpr std::uint32_t kDelete = 1, kGet = 2, kPost = 6, kPut = 7, kCustom = 8;

// A compact text of a value: enough to compare whole replies in one line. Member order
// is the order the reply delivers.
std::string Render(const BindingProperty& value) {
    char number[64];
    switch (value.Kind()) {
    case Kesh::PropertyKind::Empty:
        return "null";
    case Kesh::PropertyKind::Bool:
        return value.ToBool() ? "true" : "false";
    case Kesh::PropertyKind::Signed:
        std::snprintf(number, sizeof number, "%lld", static_cast<long long>(value.GetSigned()));
        return number;
    case Kesh::PropertyKind::Unsigned:
        std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(value.GetUnsigned()));
        return number;
    case Kesh::PropertyKind::Float:
        std::snprintf(number, sizeof number, "%g", value.GetFloat());
        return number;
    case Kesh::PropertyKind::String:
        return "\"" + std::string(value.GetStringView()) + "\"";
    case Kesh::PropertyKind::Collection: {
        std::string text = "[";
        for (const BindingProperty& element : value.Elements()) text += (text.size() > 1 ? "," : "") + Render(element);
        return text + "]";
    }
    case Kesh::PropertyKind::Structure: {
        std::string text = "{";
        for (const auto& member : value.Members()) {
            text += (text.size() > 1 ? "," : "") + std::string(member.KeyView()) + ":" + Render(member.Value());
        }
        return text + "}";
    }
    default:
        return "?";
    }
}

BindingProperty Values(std::int64_t a, std::int64_t b) {
    BindingProperty values;
    values.Append() = a;
    values.Append() = b;
    return values;
}

// One call of a sample function: the reply rendered, or "error: " and its text; with
// the reply's status.
struct Case {
    const char* function;
    Request request;
    const char* expected;
    std::uint32_t status = 0;
};

std::vector<Case> Cases() {
    const char* item5 = R"({id:5,name:"item-5",verbose:false})";
    const char* invalid = "error: Invalid function";
    return {
        // GetItem: id from the path, verbose from the query (present without a value: true).
        {"GetItem", Url("/sample/v1/items/5"), item5},
        {"GetItem", Url("/sample/v1/items/5?verbose="), R"({id:5,name:"item-5",verbose:true})"},
        // Typed arguments: by name over what the path captured, or by position after it
        // (one too many is named by its position).
        {"GetItem", Url("/sample/v1/items/5").Argument("id", 12), R"({id:12,name:"item-12",verbose:false})"},
        {"GetItem", Url("/sample/v1/items/5").Argument(nullptr, true).Argument(nullptr, 1),
         "error: Unknown argument '2' for 'GetItem'."},
        {"GetItem", Url("/sample/v1/items/5").Method(kPost), invalid, 404},
        {"GetItem", Url("/sample/v1/items/5?verbose&&x"), "error: Unknown argument '' for 'GetItem'."},
        {"GetItem", Url("/sample/v1/items/5?bogus=1"), "error: Unknown argument 'bogus' for 'GetItem'."},
        {"GetItem", Url("/sample/v1/items/3000000000"), "error: Value 3000000000 for 'id' of type int32 is out of range"},

        // PutFile: the rest of the path, and the body in each content type.
        {"PutFile", Url("/sample/v1/files/a/b%20c.txt").Method(kPut).Body("application/json", R"({"x":[1,2]})"),
         R"({content:{x:[1,2]},path:"a/b c.txt"})"},
        {"PutFile", Url("/sample/v1/files/f").Method(kPut).Body("Application/JSON; Charset=UTF-8", R"({"x":1})"),
         R"({content:{x:1},path:"f"})"},
        {"PutFile", Url("/sample/v1/files/f").Method(kPut).Body("application/vnd.api+json", "[true]"),
         R"({content:[true],path:"f"})"},
        {"PutFile", Url("/sample/v1/files/f").Method(kPut).Body("APPLICATION/X-MSGPACK-EXT", "\x81\xA1x\x01"),
         R"({content:{x:1},path:"f"})"},

        // Echo: bound to every method, reachable without a template under its name.
        {"Echo", Url("Echo?value=hi"), R"("hi")"},
        {"Echo", Url("Echo?value=a+b%21").Method(kDelete), R"("a b!")"},
        {"Echo", Url("Echo?value=x").Method(9), R"("x")"},
        {"Echo", Url("Echo?value=1").Method(kCustom, "PURGE"), R"("1")"},
        {"Echo", Url("Echo"), "null"},
        {"Echo", Url("Echo?value"), "{}"},
        {"Echo", Url("Echo?value=%7Bx"),
         "error: Couldn't deserialize JSON value for parameter 'value' of 'Echo': Error: Missing a name for object "
         "member. at offset 1."},
        {"Echo", Url("Echo?value.a=%7Bx"), R"({a:"{x"})"},
        {"Echo", Url("/Echo"), invalid, 404},

        // Sum: values from anywhere, scale only from the query.
        {"Sum", Url("/sample/v1/sum?values=[1,2,3]").Method(kPost), "6"},
        {"Sum", Url("/sample/v1/sum?values=[1,2]&scale=2.5").Method(kPost), "7.5"},
        {"Sum", Url("/sample/v1/sum?values").Method(kPost), "0"},
        {"Sum", Url("/sample/v1/sum").Method(kPost).Argument(nullptr, Values(2, 3)).Argument(nullptr, 2.0), "10"},
        // A body is ignored by a function without a body argument, whatever its type.
        {"Sum", Url("/sample/v1/sum?values=[1]").Method(kPost).Body("text/plain", "ignored"), "1"},
        {"Sum", Url("/sample/v1/sum").Method(kPost).Header("scale", "2"),
         "error: Couldn't assign value to 'values' of type vector because the input not a collection."},

        // Whoami: the request context and an optional header.
        {"Whoami", Url("/sample/v1/whoami").Header("user-agent", "tester/1.0").Header("token", "abc"),
         R"({clientId:7,method:"GET",token:"abc",url:"/sample/v1/whoami",userAgent:"tester/1.0"})"},
        {"Whoami", Url("/sample/v1/whoami"), R"({clientId:7,method:"GET",token:"",url:"/sample/v1/whoami",userAgent:""})"},
        {"Whoami", Url("/sample/v1/whoami").Header("token", "old").Header("token", "new"),
         R"({clientId:7,method:"GET",token:"new",url:"/sample/v1/whoami",userAgent:""})"},
        {"Whoami", Url("/sample/v1/whoami").Argument("who", 1), "error: Unknown argument 'who' for 'Whoami'."},
        {"Whoami", Url("/sample/v1/whoami?token=abc"),
         "error: Argument 'token' for 'Whoami' was specified in an invalid location."},

        // Color: an enumerator by name, an unknown number as a number.
        {"Color", Url("/sample/v1/colors/red"), R"("Red")"},
        {"Color", Url("/sample/v1/colors/green"), R"("Green")"},
        {"Color", Url("/sample/v1/colors/Red"), "99"},
        {"Color", Url("/sample/v1/colors/"), "error: Expected value for argument 'name'."},

        {"Teapot", Url("/sample/v1/teapot"), "error: The sample is a teapot.", 418},

        {"Bytes", Url("/sample/v1/bytes?size=16777217"), "error: Too many bytes requested.", 400},
        {"Bytes", Url("/sample/v1/bytes"), "error: A value for 'size' is required."},
    };
}

std::string Describe(const Case& c) {
    return std::string(c.function) + " " + std::to_string(c.request.method) + " " + c.request.url;
}

void RunCase(const SamplePlugin& plugin, const Case& c) {
    const Kesh::ApiFunctionRecord* function = plugin.Function(c.function);
    ASSERT_NE(function, nullptr) << c.function;
    Reply reply;
    Call(*function, c.request, reply);
    EXPECT_NE(Unpacked(reply.raw.release), nullptr);
    const bool error = std::strncmp(c.expected, "error: ", 7) == 0;
    EXPECT_EQ(reply.Failed(), error) << Describe(c) << ": " << reply.Error();
    EXPECT_EQ(error ? "error: " + reply.Error() : Render(reply.Value()), c.expected) << Describe(c);
    if (error) {
        EXPECT_EQ(reply.Value().Kind(), Kesh::PropertyKind::Empty) << Describe(c);
    }
    EXPECT_EQ(reply.Status(), c.status) << Describe(c);
}

class SampleApiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(plugin_.Loaded()) << SamplePlugin::LoadError(); }
    const Kesh::ApiFunctionRecord& Function(const char* name) {
        const Kesh::ApiFunctionRecord* function = plugin_.Function(name);
        EXPECT_NE(function, nullptr) << name;
        return function != nullptr ? *function : plugin_.Table().functions[0];
    }
    SamplePlugin plugin_;
};

TEST_F(SampleApiTest, ListsItsTypes) {
    EXPECT_STREQ(plugin_.Record().shortName, "sample-api");
    const Kesh::ApiTable& table = plugin_.Table();
    struct Expected {
        const char* name;
        std::vector<std::string> members;
    };
    const Expected types[] = {
        {"SampleApiSampleItem", {"id", "name", "verbose"}},
        {"SampleApiSampleFile", {"path", "content"}},
        {"SampleApiSampleCaller", {"clientId", "method", "url", "token", "userAgent"}},
        {"SampleApiSampleColor", {"Blue", "Green", "Red"}},
    };
    for (const Expected& expected : types) {
        const Kesh::TypeDescriptionRecord* found = nullptr;
        for (std::uint32_t i = 0; i < table.typeCount; ++i) {
            if (std::strcmp(table.types[i].name, expected.name) == 0) found = &table.types[i];
        }
        ASSERT_NE(found, nullptr) << expected.name;
        std::vector<std::string> members;
        for (std::uint32_t i = 0; i < found->memberCount; ++i) {
            members.push_back(found->fields != nullptr ? found->fields[i].name : found->enumerators[i].name);
        }
        EXPECT_EQ(members, expected.members) << expected.name;
        ASSERT_GE(Unpacked(found->tagCount), 2u);
        EXPECT_STREQ(found->tags[1], "Plugin sample-api");
    }
}

// "int32", "vector/int64", "struct SampleApiSampleItem": one type of a description record.
std::string TypeText(std::uint32_t kind, std::uint32_t elementKind, const char* typeName) {
    std::string text = kind == 0 ? "none" : Kesh::TypeKindName(kind);
    if (elementKind != 0) text += std::string("/") + Kesh::TypeKindName(elementKind);
    if (typeName == nullptr) return text + " <null>";
    if (typeName[0] != '\0') text += std::string(" ") + typeName;
    return text;
}

// The table lists the eight functions in declaration order, each record saying what
// its declaration says: method, template, every parameter with type, location (0 any,
// 1 query, 2 path, 4 header, 5 body) and optional mark, and the result type.
TEST_F(SampleApiTest, FunctionRecordsDescribeTheDeclarations) {
    const struct {
        const char* name;
        const char* description;
    } cases[] = {
        {"GetItem", "2 /sample/v1/items/{id} (id: int32 @2, verbose: bool @1) -> struct SampleApiSampleItem"},
        {"PutFile", "7 /sample/v1/files/{+path} (path: string @2, content: object @5) -> struct SampleApiSampleFile"},
        {"Echo", "0 Echo (value: object @0) -> object"},
        {"Sum", "6 /sample/v1/sum (values: vector/int64 @0, scale: double @1 optional) -> double"},
        {"Whoami", "2 /sample/v1/whoami (token: string @4 optional) -> struct SampleApiSampleCaller"},
        {"Color", "2 /sample/v1/colors/{name} (name: string @2) -> enum SampleApiSampleColor"},
        {"Teapot", "2 /sample/v1/teapot () -> object"},
        {"Bytes", "2 /sample/v1/bytes (size: uint32 @1) -> none"},
    };
    ASSERT_EQ(Unpacked(plugin_.Table().functionCount), std::size(cases));
    for (std::uint32_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.name);
        const Kesh::ApiFunctionRecord& function = plugin_.Table().functions[i];
        EXPECT_STREQ(function.name, c.name);
        std::string text = std::to_string(function.method) + " " + function.urlTemplate + " (";
        // Even without parameters (Teapot) an empty array, not null.
        ASSERT_NE(Unpacked(function.parameters), nullptr);
        for (std::uint32_t p = 0; p < function.parameterCount; ++p) {
            const Kesh::ParameterDescriptionRecord& parameter = function.parameters[p];
            EXPECT_EQ(Unpacked(parameter.next), p + 1 < function.parameterCount ? &function.parameters[p + 1] : nullptr);
            text += std::string(p == 0 ? "" : ", ") + parameter.name + ": " +
                    TypeText(parameter.kind, parameter.elementKind, parameter.typeName) + " @" +
                    std::to_string(parameter.location) + (parameter.optional != 0 ? " optional" : "");
        }
        text += ") -> " + TypeText(function.returnKind, function.returnElementKind, function.returnTypeName);
        EXPECT_EQ(text, c.description);
        EXPECT_EQ(Unpacked(function.isAsync), 0);
        EXPECT_STREQ(function.customMethod, "");
        ASSERT_GE(Unpacked(function.tagCount), 2u);
        EXPECT_STREQ(function.tags[1], "Plugin sample-api");
    }
    EXPECT_STREQ(Function("GetItem").description, "One item by its number.");
    EXPECT_STREQ(Function("GetItem").parameters[0].description, "The item's number.");
}

TEST_F(SampleApiTest, EveryFunctionFromEverySourceAndEveryFailure) {
    for (const Case& c : Cases()) RunCase(plugin_, c);
}

TEST_F(SampleApiTest, BytesStreamsItsPattern) {
    for (const std::uint32_t size : {0u, 1u, 251u, 1000u}) {
        Reply reply;
        Call(Function("Bytes"), Url("/sample/v1/bytes?size=" + std::to_string(size)), reply);
        ASSERT_FALSE(reply.Failed()) << reply.Error();
        EXPECT_EQ(reply.Status(), 200u);
        EXPECT_STREQ(reply.raw.contentType, "application/octet-stream");
        EXPECT_EQ(Unpacked(reply.raw.bodySizeHint), size);
        const std::string body = reply.ReadBody(97);
        ASSERT_EQ(body.size(), size);
        for (std::uint32_t i = 0; i < size; ++i) {
            ASSERT_EQ(static_cast<unsigned char>(body[i]), i % 251) << i;
        }
    }
    // The largest allowed stream is accepted; the host may end it unread.
    Reply reply;
    Call(Function("Bytes"), Url("/sample/v1/bytes?size=16777216"), reply);
    EXPECT_FALSE(reply.Failed());
    EXPECT_EQ(Unpacked(reply.raw.bodySizeHint), 16777216u);
}

TEST_F(SampleApiTest, HostileRequestsGetErrorReplies) {
    const Kesh::ApiFunctionRecord& echo = Function("Echo");
    const Kesh::ApiFunctionRecord& whoami = Function("Whoami");

    Reply noRequest;
    echo.handler(&noRequest.raw, nullptr);
    EXPECT_EQ(noRequest.Error(), "Invalid function");
    EXPECT_EQ(noRequest.Status(), 404u);
    echo.handler(nullptr, nullptr);  // nothing to fill, nothing done

    Kesh::HostRequest raw{};
    raw.method = kGet;
    raw.userData = echo.userData;
    Reply noUrl;
    echo.handler(&noUrl.raw, &raw);
    EXPECT_EQ(noUrl.Error(), "Invalid function");

    raw.url = "Echo?value=1";
    raw.userData = nullptr;
    Reply noUserData;
    echo.handler(&noUserData.raw, &raw);
    EXPECT_EQ(noUserData.Error(), "Invalid function");

    // Null arrays with counts, null header names and values.
    Kesh::HostRequest hostile{};
    hostile.method = kGet;
    hostile.url = "/sample/v1/whoami";
    hostile.userData = whoami.userData;
    hostile.argumentCount = 1000;
    hostile.headerCount = 1000;
    Reply nullArrays;
    whoami.handler(&nullArrays.raw, &hostile);
    EXPECT_FALSE(nullArrays.Failed()) << nullArrays.Error();
    Kesh::HostHeader headers[] = {{nullptr, "x"}, {"user-agent", "ua"}, {"token", nullptr}};
    hostile.headers = headers;
    hostile.headerCount = 2;
    hostile.argumentCount = 0;
    Reply nullName;
    whoami.handler(&nullName.raw, &hostile);
    EXPECT_EQ(Render(nullName.Value()),
              R"({clientId:0,method:"GET",token:"",url:"/sample/v1/whoami",userAgent:"ua"})");
    // A null value is an empty text, which a string argument cannot take.
    hostile.headerCount = 3;
    Reply nullValue;
    whoami.handler(&nullValue.raw, &hostile);
    EXPECT_EQ(nullValue.Error(), "Expected value for argument 'token'.");

    // A million query pieces cost linear time and answer like a short query.
    std::string url = "Echo?";
    for (int i = 0; i < 1000000; ++i) url += "value=1&";
    url.pop_back();
    Reply manyReply;
    Call(echo, Url(url), manyReply);
    EXPECT_EQ(Render(manyReply.Value()), R"("1")");
}

TEST_F(SampleApiTest, ReplyReleaseClearsTheRecord) {
    Reply reply;
    Call(Function("Whoami"), Url("/sample/v1/whoami").Header("token", "abc"), reply);
    ASSERT_NE(Unpacked(reply.raw.release), nullptr);
    reply.raw.release(&reply.raw);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&reply.raw);
    for (std::size_t i = 0; i < sizeof reply.raw; ++i) ASSERT_EQ(bytes[i], 0u) << i;
}

TEST(SampleApiLifetime, AllocationsBalanceAfterUnload) {
    {
        // First use builds what lives as long as the library (pools, constant texts).
        SamplePlugin warmUp;
        ASSERT_TRUE(warmUp.Loaded()) << SamplePlugin::LoadError();
        for (const Case& c : Cases()) RunCase(warmUp, c);
    }
    SamplePlugin plugin;
    const Kesh::MemoryStats before = plugin.Stats();
    {
        SamplePlugin second;
        for (const Case& c : Cases()) RunCase(second, c);
        Reply reply;
        Call(*second.Function("Bytes"), Url("/sample/v1/bytes?size=5000"), reply);
        EXPECT_EQ(reply.ReadBody().size(), 5000u);
    }
    const Kesh::MemoryStats after = plugin.Stats();
    EXPECT_GT(Unpacked(after.allocationCount), Unpacked(before.allocationCount));
    EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount);
    EXPECT_EQ(after.bytesAllocated - before.bytesAllocated, after.bytesFreed - before.bytesFreed);
}

TEST_F(SampleApiTest, FourThreadsCallTheSameFunctions) {
    const Kesh::ApiFunctionRecord& getItem = Function("GetItem");
    const Kesh::ApiFunctionRecord& bytes = Function("Bytes");
    std::vector<std::string> failures(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const int n = t * 1000 + i;
                Reply itemReply;
                Call(getItem, Url("/sample/v1/items/" + std::to_string(n) + (i % 2 ? "?verbose" : "")), itemReply);
                const std::string expected = "{id:" + std::to_string(n) + ",name:\"item-" + std::to_string(n) +
                                             "\",verbose:" + (i % 2 ? "true" : "false") + "}";
                if (Render(itemReply.Value()) != expected) failures[t] = Render(itemReply.Value());

                Reply streamReply;
                Call(bytes, Url("/sample/v1/bytes?size=" + std::to_string(i)), streamReply);
                if (streamReply.ReadBody(64).size() != static_cast<std::size_t>(i)) failures[t] = "bytes";
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace SampleTest
