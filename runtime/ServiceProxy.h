#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "runtime/RuntimeTypes.h"

namespace Kesh {

// Matches service-proxy answers relayed by the host with the requests waiting for
// them, and routes asynchronous service messages to their handlers. Answers are kept
// per key (the uuid, or "service.method") until a request under that key turns up.
//
// Handlers run under the tables' mutex: they must not call back into this object.
class ServiceProxy {
public:
    using Handler = std::function<void(const PluginServiceProxyResponse&)>;

    explicit ServiceProxy(std::string shortName = {}) : shortName_(std::move(shortName)) {}

    void SetShortName(std::string shortName) { shortName_ = std::move(shortName); }

    void OnUuidMessage(const PluginServiceProxyResponse& response);
    void OnMethodMessage(const PluginServiceProxyResponse& response);
    void OnAsyncMessage(const PluginServiceProxyResponse& response);

    // Registers the completion of a request issued under key, then delivers an answer
    // that may already be stored.
    void AddPendingRequest(const std::string& key, Handler handler);
    void AddAsyncHandler(const std::string& key, Handler handler);

    // Completes at most one pending request whose answer has arrived.
    void Fulfil();
    void Clear();

    std::size_t StoredResponseCount() const;
    std::size_t PendingRequestCount() const;

    // "service.method", the key of method-based and asynchronous messages.
    static std::string MethodKey(const PluginServiceProxyResponse& response);

private:
    void Store(const std::string& key, const PluginServiceProxyResponse& response);

    std::string shortName_;
    mutable std::mutex mutex_;
    std::unordered_map<std::string, Handler> pendingRequests_;
    std::unordered_map<std::string, Handler> asyncHandlers_;
    std::unordered_map<std::string, PluginServiceProxyResponse> receivedResponses_;
};

}  // namespace Kesh
