#include "runtime/ResourceHandlerSet.h"

#include <vector>

#include "runtime/EventName.h"

namespace Kesh {

void ResourceHandlerSet::Subscribe(std::string) {}

void ResourceHandlerSet::Unsubscribe(std::string) {}

void ResourceHandlerSet::AddResourceHandler(const std::string& path, ResourceHandler handler) {
    auto& table = path.find('*') != std::string::npos ? patternHandlers_ : exactHandlers_;
    table.insert_or_assign(path, std::make_shared<const ResourceHandler>(std::move(handler)));
}

void ResourceHandlerSet::DispatchResourceEvent(const PluginResourceEvent& event) const {
    std::string prefixed;
    std::string_view uri = event.uri;
    if (!uri.starts_with('/')) {
        prefixed = "/" + event.uri;
        uri = prefixed;
    }
    // Handlers may add handlers; call through references held here, never through the
    // live tables.
    if (const auto exact = exactHandlers_.find(uri); exact != exactHandlers_.end()) {
        const std::shared_ptr<const ResourceHandler> handler = exact->second;
        (*handler)(event);
    }
    std::vector<std::shared_ptr<const ResourceHandler>> matching;
    for (const auto& [pattern, handler] : patternHandlers_) {
        if (MatchesPathPattern(pattern, uri)) {
            matching.push_back(handler);
        }
    }
    for (const auto& handler : matching) {
        (*handler)(event);
    }
}

void ResourceHandlerSet::ClearResourceHandlers() {
    exactHandlers_.clear();
    patternHandlers_.clear();
}

}  // namespace Kesh
