#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "formats/YamlPaths.h"

namespace Kesh {

// What an anchor names: a node (by its path from the root) or the text of a mapping key.
struct YamlAnchor {
    bool isKeyText = false;
    // Set while the anchored sequence or mapping is still being read: an alias to it
    // would copy a node into itself.
    bool open = false;
    YamlPaths::StepId path = YamlPaths::kRoot;
    std::string keyText;
};

// The anchors of one YAML document by name. Entries never move once added, so the
// reader may keep pointers to them.
class YamlAnchors {
public:
    // The new anchor, or null when the name is taken.
    YamlAnchor* Add(std::string_view name);
    YamlAnchor* Find(std::string_view name);

private:
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const noexcept { return std::hash<std::string_view>{}(name); }
    };

    std::unordered_map<std::string, YamlAnchor, NameHash, std::equal_to<>> anchors_;
};

}  // namespace Kesh
