#include "api/ExposeFunction.h"

#include <unordered_set>

#include "api/Dispatch.h"

namespace Kesh::Detail {

const FunctionRecord* Expose(TypeRegistry& registry, const FunctionInfo& info,
                             std::unique_ptr<NativeBindingBase> binding, std::vector<ArgumentDeclaration> arguments) {
    if (info.name.empty()) return nullptr;
    std::unordered_set<std::string> names;
    for (const ArgumentDeclaration& argument : arguments) {
        // Arguments are found by name: an empty or repeated one could never be given.
        if (argument.name.empty() || !names.insert(argument.name).second) return nullptr;
    }
    auto record = std::make_unique<FunctionRecord>();
    record->name.assign(info.name);
    record->nameSpace.assign(info.nameSpace);
    record->description.assign(info.description);
    record->help.assign(info.help);
    record->tags = info.tags;
    record->threadSafe = true;
    for (ArgumentDeclaration& argument : arguments) {
        FunctionArgument described;
        described.name = argument.name;
        described.description = std::move(argument.description);
        described.optional = argument.optional;
        record->arguments.push_back(std::move(described));
        binding->names.push_back(std::move(argument.name));
        binding->locations.push_back(argument.location);
    }
    binding->DescribeTypes(*record, registry);
    for (const FunctionArgument& argument : record->arguments) {
        // std::optional parameters are optional whether or not the declaration says so.
        binding->optional.push_back(argument.optional);
    }
    binding->urlPath.assign(info.url);
    binding->method = info.method;
    binding->customMethod.assign(info.customMethod);
    FunctionBinding& stored = *binding;
    record->binding = std::move(binding);
    record->dispatch = &DispatchRequest;
    // The record stays at its address inside the registry, so the route may point at it.
    stored.route = Route::Build(*record, stored);
    return registry.AddFunction(std::move(record));
}

}  // namespace Kesh::Detail
