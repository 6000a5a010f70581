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

struct Case {
    const char* function;
    std::uint32_t method;
    const char* url;
    // Either the rendered value or the error text with its status.
    const char* value;
    const char* error;
    std::uint32_t status;
    std::vector<std::pair<std::string, std::string>> headers{};
    const char* contentType = nullptr;
    const char* body = nullptr;
    std::size_t bodyLength = 0;  // 0: the text's length
};

std::vector<Case> Cases() {
    return {
        // GetItem: id from the path, verbose from the query in every form.
        {"GetItem", kGet, "/sample/v1/items/5", R"({id:5,name:"item-5",verbose:false})", nullptr, 0},
        {"GetItem", kGet, "/sample/v1/items/5?verbose", R"({id:5,name:"item-5",verbose:true})", nullptr, 0},
        {"GetItem", kGet, "/sample/v1/items/5?verbose=", R"({id:5,name:"item-5",verbose:true})", nullptr, 0},
        {"GetItem", kGet, "/sample/v1/items/-3?verbose=false", R"({id:-3,name:"item--3",verbose:false})", nullptr, 0},
        {"GetItem", kGet, "/sample/v1/items/%35%31", R"({id:51,name:"item-51",verbose:false})", nullptr, 0},
        // Only the query is cut from the path: a fragment stays and lands in the segment.
        {"GetItem", kGet, "/sample/v1/items/5?verbose#top", nullptr,
         "Value 5#top for 'id' of type int32 is in an incorrect format", 0},
        // A header never reaches a query-only argument.
        {"GetItem", kGet, "/sample/v1/items/5", R"({id:5,name:"item-5",verbose:false})", nullptr, 0, {{"verbose", "1"}}},
        {"GetItem", kPost, "/sample/v1/items/5", nullptr, "Invalid function", 404},
        {"GetItem", kGet, "/sample/v1/items/5/6", nullptr, "Invalid function", 404},
        {"GetItem", kGet, "/sample/v1/item/5", nullptr, "Invalid function", 404},
        {"GetItem", kGet, "/sample/v1/items/5?id=6", nullptr,
         "Argument 'id' for 'GetItem' was specified in an invalid location.", 0},
        {"GetItem", kGet, "/sample/v1/items/5?verbose&&x", nullptr, "Unknown argument '' for 'GetItem'.", 0},
        {"GetItem", kGet, "/sample/v1/items/5?verbose&", nullptr, "Unknown argument '' for 'GetItem'.", 0},
        {"GetItem", kGet, "/sample/v1/items/5?bogus=1", nullptr, "Unknown argument 'bogus' for 'GetItem'.", 0},
        {"GetItem", kGet, "/sample/v1/items/x", nullptr, "Value x for 'id' of type int32 is in an incorrect format", 0},
        {"GetItem", kGet, "/sample/v1/items/", nullptr, "Expected value for argument 'id'.", 0},
        {"GetItem", kGet, "/sample/v1/items/3000000000", nullptr,
         "Value 3000000000 for 'id' of type int32 is out of range", 0},

        // PutFile: the rest of the path, and the body in each content type.
        {"PutFile", kPut, "/sample/v1/files/a/b%20c.txt", R"({content:{x:[1,2]},path:"a/b c.txt"})", nullptr, 0, {},
         "application/json", R"({"x":[1,2]})"},
        {"PutFile", kPut, "/sample/v1/files/f", R"({content:{x:1},path:"f"})", nullptr, 0, {},
         "Application/JSON; Charset=UTF-8", R"({"x":1})"},
        {"PutFile", kPut, "/sample/v1/files/f", R"({content:[true],path:"f"})", nullptr, 0, {},
         "application/vnd.api+json", "[true]"},
        {"PutFile", kPut, "/sample/v1/files/f", R"({content:{x:1},path:"f"})", nullptr, 0, {}, "application/x-yaml",
         "x: 1\n"},
        {"PutFile", kPut, "/sample/v1/files/f", R"({content:{x:1},path:"f"})", nullptr, 0, {}, "application/x-msgpack",
         "\x81\xA1x\x01"},
        {"PutFile", kPut, "/sample/v1/files/f", R"({content:{x:1},path:"f"})", nullptr, 0, {},
         "APPLICATION/X-MSGPACK-EXT", "\x81\xA1x\x01"},
        // The host's length bounds every reader: here it ends the JSON before the junk.
        {"PutFile", kPut, "/sample/v1/files/f", R"({content:[1,2],path:"f"})", nullptr, 0, {}, "application/json",
         "[1,2]junk", 5},
        {"PutFile", kPut, "/sample/v1/files/f", nullptr, "Unsupported body content type", 0, {}, "text/plain", "x"},
        {"PutFile", kGet, "/sample/v1/files/f", nullptr, "Invalid function", 404},

        // Echo: bound to every method, reachable without a template under its name.
        {"Echo", kGet, "Echo?value=hi", R"("hi")", nullptr, 0},
        {"Echo", kDelete, "Echo?value=a+b%21", R"("a b!")", nullptr, 0},
        {"Echo", 0, "Echo?value=x", R"("x")", nullptr, 0},
        {"Echo", 9, "Echo?value=x", R"("x")", nullptr, 0},
        {"Echo", kGet, "Echo", "null", nullptr, 0},
        {"Echo", kGet, "Echo?value", "{}", nullptr, 0},
        {"Echo", kGet, "Echo", "[1,2]", nullptr, 0, {{"value", "[1,2]"}}},
        {"Echo", kGet, "Echo?value=%7B%22a%22%3A1%7D", "{a:1}", nullptr, 0},
        {"Echo", kGet, "Echo?value=%20%20[1,2]", "[1,2]", nullptr, 0},
        {"Echo", kGet, "Echo?value=---%0Aa:%201", "{a:1}", nullptr, 0},
        {"Echo", kGet, "Echo?value=%81%A1a%01", "{a:1}", nullptr, 0},
        {"Echo", kGet, "Echo?value=%zz%4", R"("%zz4")", nullptr, 0},
        {"Echo", kGet, "Echo?value.a.2=x", R"({a:[null,null,"x"]})", nullptr, 0},
        {"Echo", kGet, "Echo?value.1a=x", nullptr, "Index 1a is in an incorrect format", 0},
        {"Echo", kGet, "Echo?value.08=x", nullptr, "Index 08 is in an incorrect format", 0},
        {"Echo", kGet, "Echo?value.2147483648=x", nullptr, "Index 2147483648 is out of range", 0},
        {"Echo", kGet, "Echo?value.2147483647=x", nullptr, "Index 2147483647 is out of range", 0},
        {"Echo", kGet, "Echo?value.99999999999999999999999=x", nullptr,
         "Index 99999999999999999999999 is out of range", 0},
        {"Echo", kGet, "Echo?value=%7Bx", nullptr,
         "Couldn't deserialize JSON value for parameter 'value' of 'Echo': Error: Missing a name for object member. "
         "at offset 1.",
         0},
        {"Echo", kGet, "Echo?value.a=%7Bx", R"({a:"{x"})", nullptr, 0},
        {"Echo", kGet, "Echo/x", nullptr, "Invalid function", 404},
        {"Echo", kGet, "/Echo", nullptr, "Invalid function", 404},

        // Sum: values from anywhere, scale only from the query.
        {"Sum", kPost, "/sample/v1/sum?values=[1,2,3]", "6", nullptr, 0},
        {"Sum", kPost, "/sample/v1/sum?values=[1,2]&scale=2.5", "7.5", nullptr, 0},
        {"Sum", kPost, "/sample/v1/sum?values.0=4&values.1=5", "9", nullptr, 0},
        {"Sum", kPost, "/sample/v1/sum?values", "0", nullptr, 0},
        {"Sum", kPost, "/sample/v1/sum", "9", nullptr, 0, {{"values", "[4,5]"}}},
        // A body is ignored by a function without a body argument, whatever its type.
        {"Sum", kPost, "/sample/v1/sum?values=[1]", "1", nullptr, 0, {}, "text/plain", "ignored"},
        {"Sum", kPost, "/sample/v1/sum", nullptr,
         "Couldn't assign value to 'values' of type vector because the input not a collection.", 0, {{"scale", "2"}}},
        {"Sum", kPost, "/sample/v1/sum?values=[1,\"x\"]", nullptr,
         "Value x for 'values' of type int64 is in an incorrect format", 0},
        {"Sum", kGet, "/sample/v1/sum?values=[1]", nullptr, "Invalid function", 404},

        // Whoami: the request context and an optional header.
        {"Whoami", kGet, "/sample/v1/whoami",
         R"({clientId:7,method:"GET",token:"abc",url:"/sample/v1/whoami",userAgent:"tester/1.0"})", nullptr, 0,
         {{"user-agent", "tester/1.0"}, {"token", "abc"}}},
        {"Whoami", kGet, "/sample/v1/whoami", R"({clientId:7,method:"GET",token:"",url:"/sample/v1/whoami",userAgent:""})",
         nullptr, 0},
        {"Whoami", kGet, "/sample/v1/whoami",
         R"({clientId:7,method:"GET",token:"new",url:"/sample/v1/whoami",userAgent:""})", nullptr, 0,
         {{"token", "old"}, {"token", "new"}}},
        {"Whoami", kGet, "/sample/v1/whoami?token=abc", nullptr,
         "Argument 'token' for 'Whoami' was specified in an invalid location.", 0},

        // Color: an enumerator by name, an unknown number as a number.
        {"Color", kGet, "/sample/v1/colors/red", R"("Red")", nullptr, 0},
        {"Color", kGet, "/sample/v1/colors/green", R"("Green")", nullptr, 0},
        {"Color", kGet, "/sample/v1/colors/blue", R"("Blue")", nullptr, 0},
        {"Color", kGet, "/sample/v1/colors/Red", "99", nullptr, 0},
        {"Color", kGet, "/sample/v1/colors/", nullptr, "Expected value for argument 'name'.", 0},

        {"Teapot", kGet, "/sample/v1/teapot", nullptr, "The sample is a teapot.", 418},
        {"Teapot", kGet, "/sample/v1/teapot?x=1", nullptr, "Unknown argument 'x' for 'Teapot'.", 0},
        {"Teapot", kPut, "/sample/v1/teapot", nullptr, "Invalid function", 404},

        {"Bytes", kGet, "/sample/v1/bytes?size=16777217", nullptr, "Too many bytes requested.", 400},
        {"Bytes", kGet, "/sample/v1/bytes", nullptr, "A value for 'size' is required.", 0},
    };
}

std::string Describe(const Case& c) { return std::string(c.function) + " " + std::to_string(c.method) + " " + c.url; }

void RunCase(const SamplePlugin& plugin, const Case& c) {
    const Kesh::ApiFunctionRecord* function = plugin.Function(c.function);
    ASSERT_NE(function, nullptr) << c.function;
    Request request;
    request.method = c.method;
    request.url = c.url;
    request.headers = c.headers;
    if (c.body != nullptr) {
        request.body.assign(c.body, c.bodyLength != 0 ? c.bodyLength : std::strlen(c.body));
        request.contentType = c.contentType;
        request.hasBody = true;
    }
    Reply reply;
    Call(*function, request, reply);
    EXPECT_NE(Unpacked(reply.raw.release), nullptr);
    if (c.error != nullptr) {
        EXPECT_TRUE(reply.Failed()) << Describe(c);
        EXPECT_EQ(reply.Error(), c.error) << Describe(c);
        EXPECT_EQ(reply.Value().Kind(), Kesh::PropertyKind::Empty) << Describe(c);
    } else {
        EXPECT_FALSE(reply.Failed()) << Describe(c) << ": " << reply.Error();
        EXPECT_EQ(Render(reply.Value()), c.value) << Describe(c);
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

TEST_F(SampleApiTest, ListsItsEightFunctionsAndItsTypes) {
    const Kesh::ApiTable& table = plugin_.Table();
    ASSERT_EQ(Unpacked(table.functionCount), 8u);
    const char* names[] = {"GetItem", "PutFile", "Echo", "Sum", "Whoami", "Color", "Teapot", "Bytes"};
    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_STREQ(table.functions[i].name, names[i]);
        EXPECT_NE(Unpacked(table.functions[i].handler), nullptr);
        ASSERT_NE(Unpacked(table.functions[i].userData), nullptr);
    }
    EXPECT_STREQ(plugin_.Record().shortName, "sample-api");

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

// Each function's record says what its declaration says: method, template, every
// parameter with type, location (0 any, 1 query, 2 path, 4 header, 5 body) and
// optional mark, and the result type.
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
        {"Bytes", "2 /sample/v1/bytes (size: uint32 @1) -> none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Kesh::ApiFunctionRecord& function = Function(c.name);
        std::string text = std::to_string(function.method) + " " + function.urlTemplate + " (";
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
    // Teapot takes nothing: an empty array, not null.
    EXPECT_EQ(Unpacked(Function("Teapot").parameterCount), 0u);
    EXPECT_NE(Unpacked(Function("Teapot").parameters), nullptr);
}

TEST_F(SampleApiTest, EveryFunctionFromEverySourceAndEveryFailure) {
    for (const Case& c : Cases()) RunCase(plugin_, c);
}

TEST_F(SampleApiTest, TypedArgumentsFillAnyLocationByNameOrPosition) {
    // Named: overrides what the path captured.
    Request named;
    named.url = "/sample/v1/items/5";
    named.typed.push_back({"id", BindingProperty(12)});
    Reply first;
    Call(Function("GetItem"), named, first);
    EXPECT_EQ(Render(first.Value()), R"({id:12,name:"item-12",verbose:false})");

    // Unnamed: positions count after the captured path parameters.
    Request positional;
    positional.url = "/sample/v1/items/5";
    positional.typed.push_back({nullptr, BindingProperty(true)});
    Reply second;
    Call(Function("GetItem"), positional, second);
    EXPECT_EQ(Render(second.Value()), R"({id:5,name:"item-5",verbose:true})");

    Request sum;
    sum.method = kPost;
    sum.url = "/sample/v1/sum";
    BindingProperty values;
    values.Append() = 2;
    values.Append() = 3;
    sum.typed.push_back({nullptr, values});
    sum.typed.push_back({nullptr, BindingProperty(2.0)});
    Reply third;
    Call(Function("Sum"), sum, third);
    EXPECT_EQ(Render(third.Value()), "10");

    Request tooMany = positional;
    tooMany.typed.push_back({nullptr, BindingProperty(1)});
    Reply fourth;
    Call(Function("GetItem"), tooMany, fourth);
    EXPECT_EQ(fourth.Error(), "Unknown argument '2' for 'GetItem'.");

    Request unknown;
    unknown.url = "/sample/v1/whoami";
    unknown.typed.push_back({"who", BindingProperty(1)});
    Reply fifth;
    Call(Function("Whoami"), unknown, fifth);
    EXPECT_EQ(fifth.Error(), "Unknown argument 'who' for 'Whoami'.");

    Request token;
    token.url = "/sample/v1/whoami";
    token.typed.push_back({"token", BindingProperty("typed")});
    Reply sixth;
    Call(Function("Whoami"), token, sixth);
    EXPECT_EQ(sixth.Value().GetMember("token").GetStringView(), "typed");
}

TEST_F(SampleApiTest, CustomMethodsReachEcho) {
    Request request;
    request.method = kCustom;
    request.customMethod = "PURGE";
    request.url = "Echo?value=1";
    Reply reply;
    Call(Function("Echo"), request, reply);
    EXPECT_EQ(Render(reply.Value()), R"("1")");
}

TEST_F(SampleApiTest, BytesStreamsItsPattern) {
    for (const std::uint32_t size : {0u, 1u, 251u, 1000u}) {
        Request request;
        request.url = "/sample/v1/bytes?size=" + std::to_string(size);
        Reply reply;
        Call(Function("Bytes"), request, reply);
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
    Request largest;
    largest.url = "/sample/v1/bytes?size=16777216";
    Reply reply;
    Call(Function("Bytes"), largest, reply);
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

    // A typed argument of a kind the host does not have.
    Kesh::HostArgument argument{};
    argument.name = "value";
    argument.value.kind = static_cast<Kesh::HostValueKind>(99);
    Kesh::HostRequest badValue{};
    badValue.method = kGet;
    badValue.url = "Echo";
    badValue.userData = echo.userData;
    badValue.arguments = &argument;
    badValue.argumentCount = 1;
    Reply badKind;
    echo.handler(&badKind.raw, &badValue);
    EXPECT_TRUE(badKind.Failed());
    EXPECT_NE(badKind.Error().find("value"), std::string::npos) << badKind.Error();

    // A million query pieces cost linear time and answer like a short query.
    std::string url = "Echo?";
    for (int i = 0; i < 1000000; ++i) url += "value=1&";
    url.pop_back();
    Request many;
    many.url = url;
    Reply manyReply;
    Call(echo, many, manyReply);
    EXPECT_EQ(Render(manyReply.Value()), R"("1")");

    // The plugin keeps serving.
    Request after;
    after.url = "Echo?value=fine";
    Reply fine;
    Call(echo, after, fine);
    EXPECT_EQ(Render(fine.Value()), R"("fine")");
}

TEST_F(SampleApiTest, ReplyReleaseClearsTheRecord) {
    Request request;
    request.url = "/sample/v1/whoami";
    request.headers = {{"token", "abc"}};
    Reply reply;
    Call(Function("Whoami"), request, reply);
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
        Request stream;
        stream.url = "/sample/v1/bytes?size=5000";
        Reply reply;
        Call(*second.Function("Bytes"), stream, reply);
        EXPECT_EQ(reply.ReadBody().size(), 5000u);
    }
    const Kesh::MemoryStats after = plugin.Stats();
    EXPECT_GT(Unpacked(after.allocationCount), Unpacked(before.allocationCount));
    EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount);
    EXPECT_EQ(after.bytesAllocated - before.bytesAllocated, after.bytesFreed - before.bytesFreed);
}

TEST_F(SampleApiTest, FourThreadsCallTheSameFunctions) {
    const Kesh::ApiFunctionRecord& getItem = Function("GetItem");
    const Kesh::ApiFunctionRecord& sum = Function("Sum");
    const Kesh::ApiFunctionRecord& bytes = Function("Bytes");
    std::vector<std::string> failures(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const int n = t * 1000 + i;
                Request item;
                item.url = "/sample/v1/items/" + std::to_string(n) + (i % 2 ? "?verbose" : "");
                Reply itemReply;
                Call(getItem, item, itemReply);
                const std::string expected = "{id:" + std::to_string(n) + ",name:\"item-" + std::to_string(n) +
                                             "\",verbose:" + (i % 2 ? "true" : "false") + "}";
                if (Render(itemReply.Value()) != expected) failures[t] = Render(itemReply.Value());

                Request total;
                total.method = kPost;
                total.url = "/sample/v1/sum?values=[" + std::to_string(n) + ",1]&scale=2";
                Reply totalReply;
                Call(sum, total, totalReply);
                if (totalReply.Value().GetFloat() != 2.0 * (n + 1)) failures[t] = "sum " + std::to_string(n);

                Request stream;
                stream.url = "/sample/v1/bytes?size=" + std::to_string(i);
                Reply streamReply;
                Call(bytes, stream, streamReply);
                if (streamReply.ReadBody(64).size() != static_cast<std::size_t>(i)) failures[t] = "bytes";
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const std::string& failure : failures) EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace SampleTest
