#pragma once

#include <string>
#include <vector>

#include "binding/TypeIdentifier.h"

namespace Kesh {

class TypeRegistry;

// One parameter of an exposed function.
struct FunctionArgument {
    std::string name;
    std::string description;
    bool optional = false;
    TypeIdentifier type;
};

// What the registry keeps about a function a plugin exposes to the host.
struct FunctionRecord {
    std::string name;
    std::string nameSpace;
    std::string description;
    std::string help;
    std::vector<FunctionArgument> arguments;
    TypeIdentifier returns;
    // The result type of an asynchronous function.
    TypeIdentifier asyncResult;
    bool threadSafe = false;
    bool isAsync = false;
    std::vector<std::string> tags;
    // Set when the record is added to a registry.
    TypeRegistry* registry = nullptr;
};

}  // namespace Kesh
