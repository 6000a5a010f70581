#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "binding/HostValueConversion.h"
#include "runtime/ApiTable.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"

namespace Kesh::Testing {

// What a function's handler put in its reply: the error text (empty on success), the
// status, the value read back, the content type and the headers.
struct ApiOutcome {
    bool failed = false;
    std::string error;
    std::uint32_t status = 0;
    BindingProperty value;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;

    // The value as text, or "error: " and the error.
    std::string Text() const { return failed ? "error: " + error : std::string(value.GetStringView()); }
};

// Calls the table's function of that name with request, as the host does.
inline ApiOutcome CallFunction(const ApiTable& table, const char* name, HostRequest request) {
    const ApiFunctionRecord* record = nullptr;
    for (std::uint32_t i = 0; i < table.functionCount; ++i) {
        if (std::string(table.functions[i].name) == name) record = &table.functions[i];
    }
    EXPECT_NE(record, nullptr) << name;
    if (record == nullptr) return {true, "no function " + std::string(name), 0, {}, "", {}};
    request.userData = record->userData;
    HostReply reply{};
    record->handler(&reply, &request);
    const bool failed = reply.result.hasError != 0;
    ApiOutcome outcome{failed, failed && reply.result.errorText != nullptr ? reply.result.errorText : "",
                       reply.statusCode, {}, reply.contentType != nullptr ? reply.contentType : "", {}};
    HostResultHead failure{};
    FromHostValue(reply.result.value, outcome.value, "", failure);
    for (std::uint32_t i = 0; i < reply.headerCount; ++i) outcome.headers.emplace_back(reply.headers[i].name, reply.headers[i].value);
    reply.release(&reply);
    return outcome;
}

inline HostRequest Get(const char* url) {
    HostRequest request{};
    request.method = 2;
    request.url = url;
    return request;
}

}  // namespace Kesh::Testing
