#pragma once

#include <functional>
#include <string>
#include <unordered_map>

#include "runtime/RuntimeTypes.h"

namespace Kesh {

class PluginBase;
class TypeRegistry;

using ResourceHandler = std::function<void(const PluginResourceEvent&)>;

// The first layer of a plugin object: the handlers of resource paths, exact ones and
// patterns with "*", and the routing of a resource event to them.
class ResourceHandlerSet {
public:
    // Watching a path; nothing at this layer.
    virtual void Subscribe(std::string path);
    virtual void Unsubscribe(std::string path);

    // A path containing "*" is a pattern; any other path is matched exactly. A later
    // handler for the same path replaces the earlier one.
    void AddResourceHandler(const std::string& path, ResourceHandler handler);

    // Calls the handler of the event's uri ("/" put in front when missing), then every
    // pattern handler whose pattern matches it.
    void DispatchResourceEvent(const PluginResourceEvent& event) const;

    void ClearResourceHandlers();

protected:
    ResourceHandlerSet() = default;
    ~ResourceHandlerSet() = default;

    TypeRegistry* handlerRegistry_ = nullptr;
    std::unordered_map<std::string, ResourceHandler> exactHandlers_;
    std::unordered_map<std::string, ResourceHandler> patternHandlers_;
    PluginBase* owner_ = nullptr;
};

}  // namespace Kesh
