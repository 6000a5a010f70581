#pragma once

#include <future>
#include <string>
#include <unordered_map>

#include "binding/BindingProperty.h"
#include "runtime/RequestResult.h"

namespace Kesh {

class PluginBase;

// Reports named telemetry events to the host's telemetry resource. Sending is a
// synchronous request; the future is ready when Send returns.
class TelemetrySender {
public:
    explicit TelemetrySender(PluginBase* plugin) : plugin_(plugin) {}
    virtual ~TelemetrySender() = default;

    virtual std::future<RequestResult<BindingProperty>> Send(
        const std::string& eventName, const std::unordered_map<std::string, BindingProperty>& payload);

private:
    PluginBase* plugin_;
};

}  // namespace Kesh
