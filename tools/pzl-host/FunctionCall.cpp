#include "tools/pzl-host/FunctionCall.h"

#include <cstring>
#include <memory>

#include "binding/HostValueConversion.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "runtime/HttpMethod.h"
#include "tools/pzl-host/SafeMemory.h"

namespace Kesh::StandIn {

const ApiFunctionRecord* FindFunction(const ApiTable* table, const std::string& name) {
    if (table == nullptr || table->functions == nullptr) return nullptr;
    for (std::uint32_t i = 0; i < table->functionCount; ++i) {
        const ApiFunctionRecord& record = table->functions[i];
        const auto text = ReadText(record.name);
        if (text && *text == name) return &record;
    }
    return nullptr;
}

std::uint32_t MethodNumber(const std::string& name) {
    if (name.empty()) return 0;
    for (std::uint32_t number = 1; number <= 7; ++number) {
        if (name == HttpMethodName(static_cast<HttpMethod>(number))) return number;
    }
    return 8;
}

bool CallFunction(const ApiFunctionRecord& record, const FunctionCall& call, std::uint32_t clientId,
                  std::size_t keepBytes, FunctionReply& reply, std::string& error) {
    if (record.handler == nullptr) {
        error = "function " + call.function + " has no handler";
        return false;
    }
    // Everything the request points at lives here until the call is done.
    std::vector<HostArgument> arguments(call.arguments.size());
    for (std::size_t i = 0; i < call.arguments.size(); ++i) {
        arguments[i].name = call.arguments[i].first.c_str();
        arguments[i].value = HostValue{};
        ToHostValue(call.arguments[i].second, arguments[i].value);
    }
    std::vector<HostHeader> headers(call.headers.size());
    for (std::size_t i = 0; i < call.headers.size(); ++i) {
        headers[i].name = call.headers[i].first.c_str();
        headers[i].value = call.headers[i].second.c_str();
    }
    const std::string url = call.url.empty() ? call.function : call.url;
    HostRequest request{};
    request.method = MethodNumber(call.method);
    request.url = url.c_str();
    request.arguments = arguments.empty() ? nullptr : arguments.data();
    request.argumentCount = static_cast<std::uint32_t>(arguments.size());
    request.userData = record.userData;
    request.headers = headers.empty() ? nullptr : headers.data();
    request.headerCount = static_cast<std::uint32_t>(headers.size());
    request.contentType = call.contentType.empty() ? nullptr : call.contentType.c_str();
    request.body = call.body.empty() && call.contentType.empty() ? nullptr
                                                                 : reinterpret_cast<const std::uint8_t*>(call.body.data());
    request.bodyLength = static_cast<std::uint32_t>(call.body.size());
    request.clientId = clientId;
    if (request.method == 8) request.customMethod = call.method.c_str();

    HostReply raw{};
    record.handler(&raw, &request);
    for (HostArgument& argument : arguments) argument.value.Release();

    reply.status = raw.statusCode;
    reply.error = raw.result.hasError != 0;
    if (reply.error) reply.errorText = ReadText(raw.result.errorText, 1 << 20).value_or("<unreadable error text>");
    reply.contentType = ReadText(raw.contentType, 4096).value_or("");
    if (raw.headers != nullptr && Readable(raw.headers, sizeof(HostHeader) * raw.headerCount)) {
        for (std::uint32_t i = 0; i < raw.headerCount; ++i) {
            reply.headers.emplace_back(ReadText(raw.headers[i].name).value_or("<unreadable>"),
                                       ReadText(raw.headers[i].value).value_or("<unreadable>"));
        }
    }
    if (!reply.error) {
        HostResultHead head{};
        if (!FromHostValue(raw.result.value, reply.value, "<result>", head)) {
            reply.error = true;
            reply.errorText = head.errorText != nullptr ? head.errorText : "unreadable result value";
        }
        head.Release();
    }
    if (raw.readBody != nullptr) {
        reply.streamed = true;
        std::unique_ptr<char[]> buffer(new char[4096]);
        std::uint8_t more = 1;
        // A stream that never ends is cut after 4 GiB.
        while (more != 0 && reply.streamedBytes < (std::uint64_t{1} << 32)) {
            std::uint32_t length = 4096;
            if (raw.readBody(raw.bodyOwner, buffer.get(), &length, &more) == 0) {
                reply.streamFailed = true;
                break;
            }
            if (length > 4096) length = 4096;
            reply.streamedBytes += length;
            if (reply.body.size() < keepBytes) reply.body.append(buffer.get(), std::min<std::size_t>(length, keepBytes - reply.body.size()));
            if (length == 0 && more != 0) continue;
        }
        if (raw.releaseBody != nullptr) raw.releaseBody(raw.bodyOwner);
    }
    if (raw.release != nullptr) raw.release(&raw);
    return true;
}

}  // namespace Kesh::StandIn
