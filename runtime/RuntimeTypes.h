#pragma once

#include <cstdint>
#include <string>

#include "binding/BindingProperty.h"

namespace Kesh {

// The runtime's own binding types: what resource events, service-proxy messages and
// LCDS messages become once decoded.

enum class PluginManagerState : std::int32_t {
    NotReady = 0,
    PluginsInitialized = 1,
};

struct PluginManagerResource {
    PluginManagerState state = PluginManagerState::NotReady;
};

enum class PluginResourceEventType : std::int32_t {
    Create = 0,
    Update = 1,
    Delete = 2,
};

struct PluginResourceEvent {
    std::string uri;
    PluginResourceEventType eventType = PluginResourceEventType::Create;
    BindingProperty data;
};

struct PluginLcdsEvent {
    std::string clientId;
    std::string subtopic;
    std::string typeName;
    BindingProperty body;
};

struct PluginLcdsResponse {
    std::string typeName;
    BindingProperty body;
};

struct PluginServiceProxyResponse {
    std::string uuid;
    std::string serviceName;
    std::string methodName;
    std::string payload;
    std::string status;
    std::string error;
};

}  // namespace Kesh
