#pragma once

#include <string>
#include <vector>

namespace Kesh {

struct TypeRecord;

// One event a plugin can fire, with the registered type of its payload.
struct EventRecord {
    std::string name;
    // Never null: an event without a registered payload type is not declared.
    const TypeRecord* payload = nullptr;
    std::string nameSpace;
    std::string description;
    std::vector<std::string> tags;
};

}  // namespace Kesh
