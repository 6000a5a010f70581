#include "runtime/ApiVersion.h"

#include "log/FormatPositional.h"

namespace Kesh {

std::string ApiVersion::Text() const {
    std::string text = FormatPositionalString("%1.%2.%3", {major, minor, patch});
    if (!prerelease.empty()) {
        text += "-" + prerelease;
    }
    if (!build.empty()) {
        text += "+" + build;
    }
    return text;
}

bool ApiVersion::CanLoad(const ApiVersion& plugin) const {
    if (major != plugin.major) {
        return false;
    }
    return minor > plugin.minor || (minor == plugin.minor && patch >= plugin.patch);
}

}  // namespace Kesh
