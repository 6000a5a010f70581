#include "api/Dispatch.h"

#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "api/ArgumentBinder.h"
#include "api/FunctionBinding.h"
#include "api/ParsedRequest.h"
#include "api/RequestContext.h"
#include "api/Route.h"
#include "binding/FunctionRecord.h"
#include "binding/HostValueConversion.h"
#include "platform/Allocator.h"
#include "runtime/ApiTable.h"

namespace Kesh {
namespace {

constexpr const char* kInvalidFunction = "Invalid function";
constexpr std::uint32_t kNotFound = 404;
constexpr std::int64_t kTicksPerMicrosecond = 10;

std::uint8_t PZL_CDECL ReadStreamPiece(void* owner, char* buffer, std::uint32_t* length, std::uint8_t* moreData) {
    if (owner == nullptr || buffer == nullptr || length == nullptr || moreData == nullptr) return 0;
    try {
        return static_cast<ReplyStream*>(owner)->Read(buffer, *length, *moreData) ? 1 : 0;
    } catch (...) {
        *length = 0;
        *moreData = 0;
        return 0;
    }
}

void PZL_CDECL ReleaseStream(void* owner) {
    try {
        delete static_cast<ReplyStream*>(owner);
    } catch (...) {
        // A destructor that throws still must not reach the host.
    }
}

char* HeapCopy(const std::string& text) {
    char* copy = static_cast<char*>(Memory::Allocate(text.size() + 1));
    if (copy == nullptr) throw std::bad_alloc();
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

void SetError(HostReply& reply, const char* message, std::uint32_t status) {
    reply.result.SetError(message);
    reply.statusCode = status;
}

std::uint64_t Now() {
    const auto since = std::chrono::system_clock::now().time_since_epoch();
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(since).count();
    return micros > 0 ? static_cast<std::uint64_t>(micros * kTicksPerMicrosecond) : 0;
}

void Dispatch(HostReply& reply, const HostRequest& request) {
    const ApiFunctionUserData* userData = request.userData;
    if (userData == nullptr || userData->function == nullptr || userData->function->binding == nullptr) {
        SetError(reply, kInvalidFunction, kNotFound);
        return;
    }
    const FunctionRecord& function = *userData->function;
    const auto& binding = static_cast<const FunctionBinding&>(*function.binding);
    const TypeRegistry* registry = userData->registry;

    ParsedRequest parsed;
    parsed.method = HttpMethodFromHost(request.method);
    if (request.url != nullptr) parsed.url = request.url;
    if (parsed.method == HttpMethod::Custom && request.customMethod != nullptr) {
        parsed.customMethod = request.customMethod;
    }
    const std::vector<const Route*> routes{&binding.route};
    if (!MatchRoute(parsed, routes)) {
        SetError(reply, kInvalidFunction, kNotFound);
        return;
    }

    CallResult result;
    std::vector<BindingProperty> arguments;
    BindArguments(result, arguments, function, binding, parsed, request);
    if (result.Ok()) {
        if (binding.TakesContext()) {
            RequestContext context;
            context.clientId = request.clientId;
            context.url = parsed.url;
            context.registry = registry;
            context.time = Now();
            context.method = parsed.method;
            context.customMethod = parsed.customMethod;
            if (request.headers != nullptr) {
                for (std::uint32_t i = 0; i < request.headerCount; ++i) {
                    if (request.headers[i].name == nullptr) continue;
                    const char* value = request.headers[i].value;
                    context.headers.Set(request.headers[i].name, value != nullptr ? value : "");
                }
            }
            binding.Invoke(result, arguments, &context, registry);
        } else {
            binding.Invoke(result, arguments, nullptr, registry);
        }
    }
    WriteReply(reply, result, registry);
}

}  // namespace

void WriteReply(HostReply& reply, CallResult& result, const TypeRegistry* registry) {
    if (result.Ok()) {
        ToHostValue(result.result.Value(), reply.result.value, registry);
    } else {
        result.body.reset();
        reply.result.SetError(result.result.ErrorMessage());
    }
    reply.replyFlag = result.replyFlag;
    reply.replyCode = result.replyCode >= 1 && result.replyCode <= 3 ? result.replyCode : 0;
    reply.statusCode = result.statusCode;
    reply.contentType = result.contentType.empty() ? HostReplyEmptyText() : HeapCopy(result.contentType);
    if (!result.headers.Empty()) {
        const std::size_t count = result.headers.Size();
        auto* headers = static_cast<HostHeader*>(Memory::Allocate(count * sizeof(HostHeader)));
        if (headers == nullptr) throw std::bad_alloc();
        std::memset(static_cast<void*>(headers), 0, count * sizeof(HostHeader));
        // Owned by the reply from here on, so a failed copy below is freed by its release.
        reply.headers = headers;
        reply.headerCount = static_cast<std::uint32_t>(count);
        std::size_t i = 0;
        for (const auto& [name, value] : result.headers) {
            headers[i].name = HeapCopy(name);
            headers[i].value = HeapCopy(value);
            ++i;
        }
    }
    if (result.body != nullptr) {
        reply.bodySizeHint = result.body->Size();
        reply.readBody = &ReadStreamPiece;
        reply.releaseBody = &ReleaseStream;
        reply.bodyOwner = result.body.release();
    }
}

void PZL_CDECL DispatchRequest(HostReply* reply, HostRequest* request) {
    if (reply == nullptr) return;
    reply->release = &ReleaseHostReply;
    try {
        if (request == nullptr) {
            SetError(*reply, kInvalidFunction, kNotFound);
            return;
        }
        Dispatch(*reply, *request);
    } catch (...) {
        // Exhausted memory on the way: free what was written and answer with an error,
        // which needs little memory of its own.
        ReleaseHostReply(reply);
        reply->release = &ReleaseHostReply;
        try {
            SetError(*reply, "Out of memory", 500);
        } catch (...) {
        }
    }
}

}  // namespace Kesh
