#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "binding/BindingProperty.h"
#include "runtime/ApiTable.h"
#include "tools/pzl-host/Scenario.h"

namespace Kesh::StandIn {

// What an exposed function answered.
struct FunctionReply {
    std::uint32_t status = 0;
    bool error = false;
    std::string errorText;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    BindingProperty value;
    // A streamed body: its size and its bytes (all of them, or up to keepBytes).
    bool streamed = false;
    std::uint64_t streamedBytes = 0;
    std::string body;
    bool streamFailed = false;
};

// The record of function name in the table, or null.
const ApiFunctionRecord* FindFunction(const ApiTable* table, const std::string& name);

// HTTP method name to the host's number; 0 for an empty name, 8 (custom) for others.
std::uint32_t MethodNumber(const std::string& name);

// The HTTP method name of the record's method: "" when it accepts every method.
std::string RecordMethodName(const ApiFunctionRecord& record);

// Text of an argument as it would appear in a URL: a string as itself, other values as
// JSON.
std::string ArgumentText(const BindingProperty& value);

// Completes call from the function's record as the host would build the request: an
// empty method becomes the record's; an empty URL becomes the record's template with
// each placeholder filled from the argument of its name (which then leaves the typed
// arguments; {name} values are percent-encoded, {+name} and {#name} keep reserved
// characters), and the arguments whose declared location is the query move to the
// query string. False with error when a placeholder has no argument.
bool CompleteFromRecord(const ApiFunctionRecord& record, FunctionCall& call, std::string& error);

// Calls the function through its record as the host does: builds the request record
// (method, URL, named typed arguments, headers, raw body and content type, the
// record's user data, the client id), calls the handler, reads the reply (and a
// streamed body, keeping at most keepBytes of it), and releases everything with the
// plugin's own release functions. False with error when the call could not be made.
bool CallFunction(const ApiFunctionRecord& record, const FunctionCall& call, std::uint32_t clientId,
                  std::size_t keepBytes, FunctionReply& reply, std::string& error);

}  // namespace Kesh::StandIn
