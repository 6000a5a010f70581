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
#include "binding/HostValueConversion.h"
#include "runtime/ApiTable.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"

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
        HostRequest request{};
        request.method = method;
        request.url = url;
        return request;
    }

    // The function's value as text, or "error: " and its error.
    std::string Call(const char* name, HostRequest request) {
        const ApiFunctionRecord* record = nullptr;
        for (std::uint32_t i = 0; i < table_->functionCount; ++i) {
            if (std::string(table_->functions[i].name) == name) record = &table_->functions[i];
        }
        EXPECT_NE(record, nullptr) << name;
        request.userData = record->userData;
        HostReply reply{};
        record->handler(&reply, &request);
        std::string outcome;
        if (reply.result.hasError) {
            outcome = std::string("error: ") + reply.result.errorText;
        } else {
            BindingProperty value;
            HostResultHead failure{};
            FromHostValue(reply.result.value, value, "", failure);
            outcome = std::string(value.GetStringView());
        }
        reply.release(&reply);
        return outcome;
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

TEST_F(RequestPartsTest, IndexesReadEveryHexadecimalDigit) {
    for (const auto& [url, size] : {std::pair{"Count?list.0xf=1", "16"}, std::pair{"Count?list.0XaF=1", "176"},
                                    std::pair{"Count?list.017=1", "16"}}) {
        EXPECT_EQ(Call("Count", Request(kGet, url)), size) << url;
    }
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
