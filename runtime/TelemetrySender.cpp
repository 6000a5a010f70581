#include "runtime/TelemetrySender.h"

#include "runtime/PluginBase.h"

namespace Kesh {

std::future<RequestResult<BindingProperty>> TelemetrySender::Send(
    const std::string& eventName, const std::unordered_map<std::string, BindingProperty>& payload) {
    std::promise<RequestResult<BindingProperty>> promise;
    std::future<RequestResult<BindingProperty>> future = promise.get_future();
    // The event name is taken as it is: a "/" in it adds path segments.
    promise.set_value(
        plugin_->CallApi<BindingProperty>(HttpMethod::Post, "/telemetry/v1/events/" + eventName, payload));
    return future;
}

}  // namespace Kesh
