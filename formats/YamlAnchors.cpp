#include "formats/YamlAnchors.h"

namespace Kesh {

YamlAnchor* YamlAnchors::Add(std::string_view name) {
    const auto [entry, added] = anchors_.try_emplace(std::string(name));
    return added ? &entry->second : nullptr;
}

YamlAnchor* YamlAnchors::Find(std::string_view name) {
    const auto found = anchors_.find(name);
    return found == anchors_.end() ? nullptr : &found->second;
}

}  // namespace Kesh
