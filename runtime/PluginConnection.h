#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <variant>

#include "platform/Abi.h"
#include "runtime/HostEvent.h"
#include "runtime/ResourceHandlerSet.h"
#include "runtime/ServiceProxy.h"

namespace Kesh {

class TelemetrySender;

using ServiceProxyHandler = std::function<void(const PluginServiceProxyResponse&)>;

// The second layer of a plugin object: what ties it to the host's events. Resource
// paths map to host event names whose subscriptions are counted, so that paths
// sharing an event share one host subscription; each subscribed name has one handler
// that receives the decoded event.
class PluginConnection : public ResourceHandlerSet {
public:
    void Subscribe(std::string path) override;
    void Unsubscribe(std::string path) override;
    virtual ~PluginConnection();
    // Ends every host subscription and empties every handler and call table. The
    // subscription counts are kept.
    virtual void Shutdown();

    // Makes handler the one for the host event name and subscribes to it with flags.
    void SubscribeServiceProxyEvent(const std::string& eventName, ServiceProxyHandler handler);

    // How many Subscribe calls are active for a host event name.
    std::uint32_t SubscriptionCount(const std::string& eventName) const;

    ServiceProxy& ServiceProxyTables() { return serviceProxy_; }

    // The callbacks handed to the host. The event's context is the plugin object.
    static void PZL_CDECL OnResourceEvent(HostEvent* event);
    static void PZL_CDECL OnServiceProxyEvent(HostEvent* event);

protected:
    PluginConnection() = default;

    using EventHandler = std::variant<ResourceHandler, ServiceProxyHandler>;

    template <typename Event>
    static void HandleEvent(HostEvent* event);

    TypeRegistry* registry_ = nullptr;
    std::uint32_t clientId_ = 0;
    std::string shortName_;
    std::unique_ptr<TelemetrySender> telemetry_;
    // Shared, so that a handler that unsubscribes its own event is not destroyed while
    // it runs.
    TextTable<std::shared_ptr<const EventHandler>> eventHandlers_;
    std::unordered_map<std::string, std::uint32_t> subscriptionCounts_;
    ServiceProxy serviceProxy_;
};

}  // namespace Kesh
