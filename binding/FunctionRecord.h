#pragma once

#include <cstddef>
#include <cstdint>
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

    // What the API table tells the host about the route. Texts stay valid as long as
    // the binding; an empty URL template means the function's name.
    virtual std::uint32_t MethodNumber() const { return 0; }
    virtual const char* CustomMethodName() const { return ""; }
    virtual const char* UrlTemplate() const { return ""; }
    // Where argument index may come from (the dispatcher's location number; 0 is any).
    virtual std::uint32_t LocationNumber(std::size_t index) const {
        static_cast<void>(index);
        return 0;
    }
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
