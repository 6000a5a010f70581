#pragma once

#include <memory>
#include <string>
#include <vector>

#include "binding/TypeIdentifier.h"
#include "platform/Abi.h"

namespace Kesh {

class TypeRegistry;
struct HostReply;
struct HostRequest;

// The entry the host calls to run an exposed function: it fills the reply.
using FunctionDispatchEntry = void(PZL_CDECL*)(HostReply* reply, HostRequest* request);

// How a function is reached over the API (its route, argument locations and invoker).
// The dispatcher that serves it defines the concrete class; the registry only owns it.
class FunctionBindingBase {
public:
    virtual ~FunctionBindingBase() = default;
};

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
    // The dispatcher's binding and entry. A record without an entry cannot be called,
    // so the API table leaves it out.
    std::unique_ptr<FunctionBindingBase> binding;
    FunctionDispatchEntry dispatch = nullptr;
};

}  // namespace Kesh
