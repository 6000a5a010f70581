#pragma once

#include <cstdint>
#include <string>

namespace Kesh {

// A plugin API version. Only major, minor and patch decide compatibility.
struct ApiVersion {
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t patch = 0;
    std::string prerelease;
    std::string build;

    // "1.2.3", then "-" and the prerelease and "+" and the build when present.
    std::string Text() const;
    // A core of this version can load a plugin built for plugin: same major, and
    // the core's (minor, patch) not below the plugin's.
    bool CanLoad(const ApiVersion& plugin) const;
};

// The version of the plugin API this SDK implements.
inline const ApiVersion kPluginApiVersion{18, 0, 0, "", ""};

}  // namespace Kesh
