#pragma once

#include <string>

namespace Kesh {

// What kind of plugin a library is: a type name and a qualifier.
struct PluginType {
    std::string name;
    std::string qualifier;

    static PluginType Backend() { return {"backend", ""}; }
    static PluginType Frontend() { return {"frontend", ""}; }
};

}  // namespace Kesh
