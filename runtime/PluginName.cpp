#include "runtime/PluginName.h"

#include "log/FormatPositional.h"
#include "log/Log.h"

namespace Kesh {
namespace {

const char* PrefixFor(const std::string& typeName) {
    if (typeName == "backend") {
        return "pzl-be-";
    }
    if (typeName == "frontend") {
        return "pzl-fe-";
    }
    return nullptr;
}

}  // namespace

PluginName PluginName::FromShortName(const std::string& shortName, const PluginType& type) {
    const char* prefix = PrefixFor(type.name);
    if (prefix == nullptr) {
        const std::string message = FormatPositionalString(
            "GetFullNameFromShortNameAndType(\"%1\", \"%2\") called with an unknown type", {shortName, type.name});
        Log(kLevelError, 1, "            Plugin Manager| %s", message.c_str());
        prefix = "pzl-xx-";
    }
    return PluginName{prefix + shortName, shortName, type.name, type.qualifier};
}

}  // namespace Kesh
