// How the parts of a host request reach a function: a custom method by its name (which
// the context sees), element indexes in any base, typed arguments by their names, the
// body only while nothing failed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "api/ExposeFunction.h"
#include "api/RequestContext.h"
#include "tests/api/ApiCall.h"

namespace Kesh {
namespace {

constexpr std::uint32_t kGet = 2, kCustom = 8;

class RequestPartsTest : public ::testing::Test {
protected:
    RequestPartsTest() {
        ExposeFunction(registry_,
                       {.name = "Purge", .method = HttpMethod::Custom, .url = "/items/{id}", .customMethod = "PURGE"},
                       [](const RequestContext& context, std::int32_t id) {
                           return context.customMethod + "/" + std::to_string(id);
                       },
                       {InPath("id")});
        ExposeFunction(registry_, {.name = "Store"},
                       [](std::int32_t id, const BindingProperty& payload) {
                           return std::to_string(id) + (payload.Kind() == PropertyKind::Empty ? "/none" : "/some");
                       },
                       {Anywhere("id"), InBody("payload").Optional()});
        ExposeFunction(registry_, {.name = "Count"},
                       [](const std::vector<std::int64_t>& list) { return std::to_string(list.size()); },
                       {InQuery("list")});
        table_ = BuildApiTable(registry_, storage_);
    }

    HostRequest Request(std::uint32_t method, const char* url) {
        HostRequest request = Testing::Get(url);
        request.method = method;
        return request;
    }
    std::string Call(const char* name, const HostRequest& request) {
        return Testing::CallFunction(*table_, name, request).Text();
    }

    TypeRegistry registry_;
    ApiTableStorage storage_;
    ApiTable* table_ = nullptr;
};

TEST_F(RequestPartsTest, ACustomMethodIsReachedOnlyByItsOwnName) {
    struct Case {
        std::uint32_t method;
        const char* customMethod;
        const char* outcome;
    };
    for (const Case c : {Case{kCustom, "PURGE", "PURGE/5"}, Case{kCustom, nullptr, "error: "}}) {
        HostRequest request = Request(c.method, "/items/5");
        request.customMethod = c.customMethod;
        EXPECT_EQ(Call("Purge", request).substr(0, std::strlen(c.outcome)), c.outcome)
            << (c.customMethod != nullptr ? c.customMethod : "null");
    }
}

// Element indexes in a name ("list.3") in every base; what the list's size becomes, or
// the failure.
TEST_F(RequestPartsTest, ElementIndexes) {
    const std::pair<const char*, const char*> cases[] = {
        {"Count?list.3=1", "4"},
        {"Count?list.0xf=1", "16"},
        {"Count?list.0XaF=1", "176"},
        {"Count?list.017=1", "16"},
        {"Count?list.0=1", "1"},
        {"Count?list.1a=1", "error: Index 1a is in an incorrect format"},
        {"Count?list.08=1", "error: Index 08 is in an incorrect format"},
        {"Count?list.0x=1", "error: Index 0x is in an incorrect format"},
        {"Count?list.0xg=1", "error: Index 0xg is in an incorrect format"},
        // The list needs one element more than the index: the largest int32 does not fit.
        {"Count?list.2147483647=1", "error: Index 2147483647 is out of range"},
        {"Count?list.2147483648=1", "error: Index 2147483648 is out of range"},
        {"Count?list.99999999999999999999999=1", "error: Index 99999999999999999999999 is out of range"},
    };
    for (const auto& [url, outcome] : cases) EXPECT_EQ(Call("Count", Request(kGet, url)), outcome) << url;
}

TEST_F(RequestPartsTest, ATypedArgumentIsNamedInItsFailure) {
    HostArgument argument{};
    argument.name = "id";
    argument.value.kind = static_cast<HostValueKind>(99);
    HostRequest request = Request(kGet, "Store");
    request.arguments = &argument;
    request.argumentCount = 1;
    const std::string outcome = Call("Store", request);
    EXPECT_NE(outcome.find("Couldn't assign value to 'id' of type"), std::string::npos) << outcome;
}

TEST_F(RequestPartsTest, TheBodyIsReadOnlyWhenThereIsOneAndNothingFailed) {
    EXPECT_EQ(Call("Store", Request(kGet, "Store?id=1")), "1/none");
    // An argument that failed keeps its message; the unreadable body is not looked at.
    static const std::uint8_t body[] = {'{', '}'};
    HostRequest failed = Request(kGet, "Store?id=1&payload=2");
    failed.body = body;
    failed.bodyLength = sizeof body;
    EXPECT_EQ(Call("Store", failed), "error: Argument 'payload' for 'Store' was specified in an invalid location.");
    failed.url = "Store?id=2";
    failed.contentType = "application/json";
    EXPECT_EQ(Call("Store", failed), "2/some");
}

}  // namespace
}  // namespace Kesh
