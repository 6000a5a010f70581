#pragma once

#include <string>

#include "runtime/RuntimeTypes.h"

namespace Kesh {

// A resource change with its data already converted to the handler's type. The data
// of a Delete event is T's default.
template <typename T>
struct ResourceEvent {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    T data{};

    // Create and Update carry the resource's state; Delete only says it is gone.
    bool CarriesState() const {
        return eventType == PluginResourceEventType::Create || eventType == PluginResourceEventType::Update;
    }
};

}  // namespace Kesh
