#include "runtime/PluginConnection.h"

#include <cstdio>

#include "binding/NativeAssign.h"
#include "binding/HostValueAssign.h"
#include "binding/HostValueConversion.h"
#include "binding/StaticType.h"
#include "log/DebugTrace.h"
#include "runtime/CaughtException.h"
#include "runtime/EventName.h"
#include "runtime/PluginBase.h"
#include "runtime/TelemetrySender.h"

namespace Kesh {

PluginConnection::~PluginConnection() = default;

void PluginConnection::Subscribe(std::string path) {
    const std::string name = EventName(path);
    if (++subscriptionCounts_[name] != 1) {
        return;
    }
    PZL_DEBUG_TRACE("%s: Subscribing to event: %s", shortName_.c_str(), name.c_str());
    const ResourceHandler dispatcher = [this](const PluginResourceEvent& event) { DispatchResourceEvent(event); };
    eventHandlers_.insert_or_assign(name, std::make_shared<const EventHandler>(dispatcher));
    owner_->SubscribeEvent(name.c_str(), clientId_, &OnResourceEvent, owner_, 0);
}

void PluginConnection::Unsubscribe(std::string path) {
    const std::string name = EventName(path);
    const auto count = subscriptionCounts_.find(name);
    if (count == subscriptionCounts_.end() || count->second == 0 || --count->second != 0) {
        return;
    }
    owner_->UnsubscribeEvent(name.c_str(), clientId_);
    eventHandlers_.erase(name);
    PZL_DEBUG_TRACE("%s: Unsubscribing to event: %s", shortName_.c_str(), name.c_str());
}

void PluginConnection::SubscribeServiceProxyEvent(const std::string& eventName, ServiceProxyHandler handler) {
    eventHandlers_.insert_or_assign(eventName, std::make_shared<const EventHandler>(std::move(handler)));
    owner_->SubscribeEvent(eventName.c_str(), clientId_, &OnServiceProxyEvent, owner_, 1);
}

std::uint32_t PluginConnection::SubscriptionCount(const std::string& eventName) const {
    const auto count = subscriptionCounts_.find(eventName);
    return count == subscriptionCounts_.end() ? 0 : count->second;
}

void PluginConnection::Shutdown() {
    if (owner_ != nullptr) {
        for (const auto& entry : eventHandlers_) {
            owner_->UnsubscribeEvent(entry.first.c_str(), clientId_);
        }
    }
    TextTable<std::shared_ptr<const EventHandler>>().swap(eventHandlers_);
    serviceProxy_.Clear();
    ClearResourceHandlers();
}

template <typename Event>
void PluginConnection::HandleEvent(HostEvent* event) {
    if (event == nullptr || event->name == nullptr || event->context == nullptr) {
        return;
    }
    auto* plugin = static_cast<PluginBase*>(event->context);
    const auto found = plugin->eventHandlers_.find(std::string_view(event->name));
    if (found == plugin->eventHandlers_.end()) {
        return;
    }
    const std::shared_ptr<const EventHandler> handler = found->second;
    const auto* typed = std::get_if<std::function<void(const Event&)>>(handler.get());
    if (typed == nullptr) {
        return;
    }
    const char* shortName = plugin->shortName_.c_str();
    Event native{};
    // Most payloads fill the event straight from the record; the rest, and every
    // failure, go through a value tree, which also words the messages.
    if (!AssignStructFromHost(&native, event->payload, LookupRecord<Event>(plugin->registry_))) {
        native = Event{};
        BindingProperty payload;
        HostResultHead failure{};
        if (!FromHostValue(event->payload, payload, "<result>", failure)) {
            PZL_DEBUG_TRACE("%s: Couldn't convert payload %s for event %s: %s", shortName,
                            StaticTypeOf<Event>().name, event->name, failure.errorText);
            failure.Release();
            return;
        }
        ConversionResult converted;
        if (!AssignNative(converted, native, payload, "<result>", plugin->registry_)) {
            PZL_DEBUG_TRACE("%s: Couldn't convert payload %s for event %s: %s", shortName,
                            StaticTypeOf<Event>().name, event->name, converted.ErrorMessage());
            return;
        }
    }
    PZL_DEBUG_TRACE("%s: Handling event %s", shortName, event->name);
    (*typed)(native);
}

namespace {

// Inside a catch block of an event callback: one line naming the plugin and the event.
void LogEventException(const HostEvent* event) noexcept {
    // An exception comes only from an event that named its plugin and itself.
    const auto* plugin = static_cast<const PluginBase*>(event->context);
    char step[160];
    std::snprintf(step, sizeof step, "Event %s", event->name);
    LogCaughtException(plugin->ShortName().c_str(), step);
}

}  // namespace

void PZL_CDECL PluginConnection::OnResourceEvent(HostEvent* event) {
    try {
        HandleEvent<PluginResourceEvent>(event);
    } catch (...) {
        // Nothing may escape into the host.
        LogEventException(event);
    }
}

void PZL_CDECL PluginConnection::OnServiceProxyEvent(HostEvent* event) {
    try {
        HandleEvent<PluginServiceProxyResponse>(event);
    } catch (...) {
        LogEventException(event);
    }
}

}  // namespace Kesh
