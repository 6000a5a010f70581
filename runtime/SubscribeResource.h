#pragma once

#include <functional>
#include <string>
#include <type_traits>
#include <utility>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "binding/NativeAssign.h"
#include "binding/StaticType.h"
#include "log/DebugTrace.h"
#include "runtime/HttpMethod.h"
#include "runtime/PluginBase.h"
#include "runtime/ResourceEvent.h"
#include "runtime/RuntimeTypes.h"

namespace Kesh {

template <typename T>
using ResourceEventHandler = std::function<void(const ResourceEvent<T>&)>;

namespace Detail {

// Converts a resource event's data to T and passes it on; data that does not convert is
// dropped, so a handler only ever sees well-formed values.
template <typename T>
class ResourceAdapter {
public:
    ResourceAdapter(PluginBase& plugin, ResourceEventHandler<T> handler)
        : plugin_(&plugin), handler_(std::move(handler)) {}

    void operator()(const PluginResourceEvent& event) const {
        ResourceEvent<T> typed;
        typed.uri = event.uri;
        typed.eventType = event.eventType;
        if (event.eventType != PluginResourceEventType::Delete) {
            ConversionResult result;
            if (!AssignNative(result, typed.data, event.data, "<value>", &plugin_->Registry())) {
                PZL_DEBUG_TRACE("Couldn't convert resource %s to C++ while handling update for URL: %s",
                                StaticTypeOf<T>().name, event.uri.c_str());
                return;
            }
        }
        handler_(typed);
    }

private:
    PluginBase* plugin_;
    ResourceEventHandler<T> handler_;
};

// The T of a callable taking const ResourceEvent<T>&.
template <typename Signature>
struct ResourceEventDataOf {};
template <typename Class, typename Result, typename T>
struct ResourceEventDataOf<Result (Class::*)(const ResourceEvent<T>&) const> {
    using Type = T;
};
template <typename Class, typename Result, typename T>
struct ResourceEventDataOf<Result (Class::*)(const ResourceEvent<T>&)> {
    using Type = T;
};
template <typename Handler>
concept ResourceEventCallable = requires { typename ResourceEventDataOf<decltype(&Handler::operator())>::Type; };

}  // namespace Detail

// Watches path with a handler of T: stores the adapter (in the pattern table when the
// path holds "*"), subscribes, and for an exact path hands the resource's current state
// to the handler as a Create before returning. A state that cannot be fetched is
// simply not delivered.
template <typename T>
void SubscribeResource(PluginBase& plugin, const std::string& path, ResourceEventHandler<T> handler) {
    const Detail::ResourceAdapter<T> adapter(plugin, std::move(handler));
    plugin.AddResourceHandler(path, adapter);
    plugin.Subscribe(path);
    if (path.find('*') != std::string::npos) {
        return;
    }
    RequestResult<BindingProperty> state = plugin.CallApi<BindingProperty>(HttpMethod::Get, path);
    if (!state.Succeeded()) {
        return;
    }
    PluginResourceEvent event;
    event.uri = path;
    event.eventType = PluginResourceEventType::Create;
    event.data = std::move(state.Value());
    adapter(event);
}

// The same for a lambda (or other callable) taking const ResourceEvent<T>&, T taken
// from its parameter:
//     SubscribeResource(plugin, "/example/v1/state", [](const ResourceEvent<Session>& event) {...});
template <typename Handler>
    requires Detail::ResourceEventCallable<Handler>
void SubscribeResource(PluginBase& plugin, const std::string& path, Handler handler) {
    using T = typename Detail::ResourceEventDataOf<decltype(&Handler::operator())>::Type;
    SubscribeResource<T>(plugin, path, ResourceEventHandler<T>(std::move(handler)));
}

// The same for a member function of the plugin itself:
//     SubscribeResource(*this, "/example/v1/state", &MyPlugin::OnSession);
template <typename T, typename Plugin>
void SubscribeResource(Plugin& plugin, const std::string& path, void (Plugin::*handler)(const ResourceEvent<T>&)) {
    SubscribeResource<T>(plugin, path, [&plugin, handler](const ResourceEvent<T>& event) { (plugin.*handler)(event); });
}

}  // namespace Kesh
