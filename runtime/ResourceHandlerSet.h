#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "runtime/RuntimeTypes.h"

namespace Kesh {

class PluginBase;
class TypeRegistry;

using ResourceHandler = std::function<void(const PluginResourceEvent&)>;

// Hashes a text as std::hash<std::string> does, so that tables keyed by std::string can
// be searched with a std::string_view (or a C text) without a copy, in the same order.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};
template <typename T>
using TextTable = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

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
    // Shared, so that an event calls a handler through a counted reference rather than
    // a copy of it, and a handler replaced while it runs lives until it returns.
    TextTable<std::shared_ptr<const ResourceHandler>> exactHandlers_;
    TextTable<std::shared_ptr<const ResourceHandler>> patternHandlers_;
    PluginBase* owner_ = nullptr;
};

}  // namespace Kesh
