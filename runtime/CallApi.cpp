#include "binding/HostValueConversion.h"
#include "runtime/HostReplyOwner.h"
#include "runtime/HostRequest.h"
#include "runtime/PluginBase.h"
#include "runtime/StreamedBody.h"

namespace Kesh {
namespace {

// The typed argument of a request body, released however the call ends.
class BodyArgument {
public:
    BodyArgument() = default;
    ~BodyArgument() { argument_.value.Release(); }  // never throws, even without memory
    BodyArgument(const BodyArgument&) = delete;
    BodyArgument& operator=(const BodyArgument&) = delete;

    HostArgument& Get() { return argument_; }

private:
    HostArgument argument_{};
};

// A conversion failure's message, freed however the call ends.
struct FailureHead {
    FailureHead() = default;
    ~FailureHead() { head.Release(); }
    FailureHead(const FailureHead&) = delete;
    FailureHead& operator=(const FailureHead&) = delete;

    HostResultHead head{};
};

}  // namespace

bool PluginBase::Send(HttpMethod method, const std::string& path, const BindingProperty* body,
                      BindingProperty* replyValue, RequestError& error) {
    BodyArgument argument;
    if (body != nullptr && !ToHostValue(*body, argument.Get().value, typeRegistry_.get())) {
        error = MakeRequestError(kRequestNotSent, method, path, "");
        return false;
    }

    // Without a host nothing can be sent; an empty reply must not pass for a success.
    const HostApi* host = Host();
    if (host == nullptr || host->request == nullptr) {
        error = MakeRequestError(kNoHostConnection, method, path,
                                 host == nullptr ? "the plugin is not initialised" : "the host has no request function");
        return false;
    }

    HostRequest request{};
    const auto number = static_cast<std::uint32_t>(method);
    request.method = number >= 1 && number <= 8 ? number : 0;
    request.url = path.c_str();
    if (body != nullptr) {
        request.arguments = &argument.Get();
        request.argumentCount = 1;
    }
    request.clientId = clientId_;

    // Owned before the host fills it, so that whatever throws below cannot leak it.
    HostReplyOwner owner;
    HostReply& reply = owner.Get();
    Request(&reply, &request);
    argument.Get().value.Release();

    bool succeeded = true;
    if (reply.result.errorText != nullptr) {
        error = MakeRequestError(kErrorResponse, method, path, reply.result.errorText, reply.statusCode);
        succeeded = false;
    } else if (replyValue != nullptr) {
        if (reply.readBody != nullptr) {
            ConversionResult streamed = ReadStreamedBody(reply, [this] { Wait(); });
            owner.EndStream();
            if (streamed.Ok()) {
                *replyValue = std::move(streamed.Value());
            } else {
                error = MakeRequestError(kStreamReadError, method, path, streamed.ErrorMessage());
                succeeded = false;
            }
        } else {
            FailureHead failure;
            if (!FromHostValue(reply.result.value, *replyValue, "<result>", failure.head)) {
                error = MakeRequestError(kResponseConversionError, method, path,
                                         failure.head.errorText != nullptr ? failure.head.errorText : "");
                succeeded = false;
            }
        }
    }
    // The host's memory in the reply is freed only by the host's own function; a
    // stream nobody read is ended there too.
    owner.Release();
    return succeeded;
}

}  // namespace Kesh
