#pragma once

#include <string>

#include "runtime/PluginType.h"

namespace Kesh {

// A plugin's names: the full name carries a prefix telling back-end ("pzl-be-") from
// front-end ("pzl-fe-") plugins; everything that leaves the plugin uses the short name.
struct PluginName {
    std::string fullName;
    std::string shortName;
    std::string typeName;
    std::string typeQualifier;

    // An unknown type name gets the prefix "pzl-xx-" and an error line in the log.
    static PluginName FromShortName(const std::string& shortName, const PluginType& type);
};

}  // namespace Kesh
