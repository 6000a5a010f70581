#include "runtime/ServiceProxy.h"

#include "log/FormatPositional.h"
#include "log/Log.h"

namespace Kesh {

std::string ServiceProxy::MethodKey(const PluginServiceProxyResponse& response) {
    return FormatPositionalString("%1.%2", {response.serviceName, response.methodName});
}

void ServiceProxy::Store(const std::string& key, const PluginServiceProxyResponse& response) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        receivedResponses_.insert_or_assign(key, response);
    }
    Fulfil();
}

void ServiceProxy::OnUuidMessage(const PluginServiceProxyResponse& response) { Store(response.uuid, response); }

void ServiceProxy::OnMethodMessage(const PluginServiceProxyResponse& response) {
    Store(MethodKey(response), response);
}

void ServiceProxy::OnAsyncMessage(const PluginServiceProxyResponse& response) {
    const std::string key = MethodKey(response);
    std::lock_guard<std::mutex> guard(mutex_);
    const auto handler = asyncHandlers_.find(key);
    if (handler == asyncHandlers_.end()) {
        Log(kLevelError, 1, "%s: Could not find registered handler for async service proxy event %s",
            shortName_.c_str(), key.c_str());
        return;
    }
    handler->second(response);
}

void ServiceProxy::AddPendingRequest(const std::string& key, Handler handler) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        pendingRequests_.insert_or_assign(key, std::move(handler));
    }
    Fulfil();
}

void ServiceProxy::AddAsyncHandler(const std::string& key, Handler handler) {
    std::lock_guard<std::mutex> guard(mutex_);
    asyncHandlers_.insert_or_assign(key, std::move(handler));
}

void ServiceProxy::Fulfil() {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto received = receivedResponses_.begin(); received != receivedResponses_.end(); ++received) {
        const auto pending = pendingRequests_.find(received->first);
        if (pending == pendingRequests_.end()) {
            continue;
        }
        // Copies: the handler may be gone, and the entries are removed, by the time
        // the line is written.
        const std::string key = received->first;
        const PluginServiceProxyResponse response = received->second;
        const Handler complete = std::move(pending->second);
        pendingRequests_.erase(pending);
        receivedResponses_.erase(received);
        complete(response);
        Log(kLevelAlways, 1, "%s: Fulfilled service proxy request: %s", shortName_.c_str(), key.c_str());
        return;
    }
}

void ServiceProxy::Clear() {
    std::lock_guard<std::mutex> guard(mutex_);
    pendingRequests_.clear();
    asyncHandlers_.clear();
    receivedResponses_.clear();
}

std::size_t ServiceProxy::StoredResponseCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return receivedResponses_.size();
}

std::size_t ServiceProxy::PendingRequestCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return pendingRequests_.size();
}

}  // namespace Kesh
