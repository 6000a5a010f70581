#include "tools/pzl-host/FunctionCall.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <memory>

#include "binding/HostValueConversion.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "runtime/HttpMethod.h"
#include "tools/pzl-host/SafeMemory.h"
#include "tools/pzl-host/ValueJson.h"

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

std::string RecordMethodName(const ApiFunctionRecord& record) {
    if (record.method >= 1 && record.method <= 7) return HttpMethodName(static_cast<HttpMethod>(record.method));
    if (record.method == 8) return ReadText(record.customMethod).value_or("");
    return "";
}

std::string ArgumentText(const BindingProperty& value) {
    if (value.Kind() == PropertyKind::String) return std::string(value.GetStringView());
    return ToJson(value);
}

namespace {

// Percent-encodes every byte outside the unreserved set, and outside the reserved set
// too unless keepReserved.
std::string Encode(const std::string& text, bool keepReserved) {
    static const char* const kReserved = ":/?#[]@!$&'()*+,;=%";
    std::string out;
    for (unsigned char byte : text) {
        const bool unreserved = std::isalnum(byte) != 0 || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (unreserved || (keepReserved && byte != 0 && std::strchr(kReserved, byte) != nullptr)) {
            out += static_cast<char>(byte);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            out += hex;
        }
    }
    return out;
}

// Takes the argument of that name out of the typed arguments.
std::optional<BindingProperty> TakeArgument(FunctionCall& call, const std::string& name) {
    for (auto it = call.arguments.begin(); it != call.arguments.end(); ++it) {
        if (it->first != name) continue;
        BindingProperty value = std::move(it->second);
        call.arguments.erase(it);
        return value;
    }
    return std::nullopt;
}

}  // namespace

bool CompleteFromRecord(const ApiFunctionRecord& record, FunctionCall& call, std::string& error) {
    if (call.method.empty()) call.method = RecordMethodName(record);
    if (!call.url.empty()) return true;
    const auto urlTemplate = ReadText(record.urlTemplate);
    if (!urlTemplate || urlTemplate->empty()) return true;
    std::string url;
    const std::string& text = *urlTemplate;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('{', at);
        if (open == std::string::npos) {
            url += text.substr(at);
            break;
        }
        url += text.substr(at, open - at);
        const std::size_t close = text.find('}', open);
        if (close == std::string::npos) {
            error = "the URL template " + text + " has a { that is never closed";
            return false;
        }
        std::string names = text.substr(open + 1, close - open - 1);
        char op = names.empty() ? '\0' : names[0];
        if (op == '+' || op == '#') names.erase(0, 1);
        else op = '\0';
        if (op == '#') url += '#';
        std::size_t start = 0;
        for (bool first = true; start <= names.size(); first = false) {
            std::size_t comma = names.find(',', start);
            if (comma == std::string::npos) comma = names.size();
            const std::string name = names.substr(start, comma - start);
            std::optional<BindingProperty> value = TakeArgument(call, name);
            if (!value) {
                error = "the URL template " + text + " needs --arg " + name + "=VALUE";
                return false;
            }
            url += (first ? "" : ",") + Encode(ArgumentText(*value), op != '\0');
            start = comma + 1;
        }
        at = close + 1;
    }
    // Arguments declared for the query alone go there, as the host would send them.
    std::string query;
    if (record.parameters != nullptr && Readable(record.parameters, sizeof(ParameterDescriptionRecord) * record.parameterCount)) {
        for (std::uint32_t i = 0; i < record.parameterCount; ++i) {
            const ParameterDescriptionRecord& parameter = record.parameters[i];
            if (parameter.location != 1) continue;
            const auto name = ReadText(parameter.name);
            if (!name) continue;
            std::optional<BindingProperty> value = TakeArgument(call, *name);
            if (!value) continue;
            query += (query.empty() ? "" : "&") + Encode(*name, false) + "=" + Encode(ArgumentText(*value), false);
        }
    }
    if (!query.empty()) {
        const std::size_t hash = url.find('#');
        const std::string fragment = hash == std::string::npos ? "" : url.substr(hash);
        if (hash != std::string::npos) url.erase(hash);
        url += (url.find('?') == std::string::npos ? "?" : "&") + query + fragment;
    }
    call.url = url;
    return true;
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
