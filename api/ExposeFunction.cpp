#include "api/ExposeFunction.h"

#include <unordered_set>

#include "api/Dispatch.h"
#include "api/UrlTemplate.h"
#include "log/LogLevel.h"

namespace Kesh::Detail {
namespace {

// Why a declaration could never be called successfully, or empty when it can be.
std::string DeclarationMistake(const FunctionInfo& info, const std::vector<ArgumentDeclaration>& arguments) {
    std::unordered_set<std::string> names;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        // Arguments are found by name: an empty or repeated one could never be given.
        if (arguments[i].name.empty()) return "argument " + std::to_string(i + 1) + " has no name";
        if (!names.insert(arguments[i].name).second) return "argument \"" + arguments[i].name + "\" is declared twice";
    }
    const std::string_view url = info.url;
    for (std::size_t open = url.find('{'); open != std::string_view::npos; open = url.find('{', open + 1)) {
        const std::size_t close = url.find('}', open + 1);
        if (close == std::string_view::npos) {
            return "its URL template \"" + std::string(url) + "\" has a \"{\" that is never closed";
        }
        open = close;
    }
    const UrlTemplate compiled = UrlTemplate::Compile(url);
    std::unordered_set<std::string> placeholders;
    for (const PathParameter& parameter : compiled.Parameters()) placeholders.insert(parameter.name);
    // A misspelt path argument also leaves its placeholder without argument; naming the
    // argument points at the typo.
    for (const ArgumentDeclaration& argument : arguments) {
        if (argument.location == ArgumentLocation::Path && placeholders.count(argument.name) == 0) {
            return "its path argument \"" + argument.name + "\" is not a placeholder of its URL template \"" +
                   std::string(url) + "\"";
        }
    }
    for (const PathParameter& parameter : compiled.Parameters()) {
        if (names.count(parameter.name) == 0) {
            return "the placeholder {" + parameter.name + "} of its URL template \"" + std::string(url) +
                   "\" has no argument of that name";
        }
    }
    return {};
}

std::string MethodText(const FunctionBindingBase& binding) {
    const auto method = static_cast<HttpMethod>(binding.MethodNumber());
    if (method == HttpMethod::None) return "any method";
    if (method == HttpMethod::Custom) return binding.CustomMethodName();
    return HttpMethodName(method);
}

// Later declarations win a shared name or route, which is legal but almost always a
// copy-and-paste slip: say so.
void NoteDuplicates(TypeRegistry& registry, const FunctionRecord& added) {
    const FunctionBindingBase& binding = *added.binding;
    const std::string url = binding.UrlTemplate()[0] != '\0' ? binding.UrlTemplate() : added.name;
    for (const FunctionRecord* earlier : registry.FunctionSnapshot()) {
        if (earlier == &added || earlier->binding == nullptr) continue;
        if (earlier->name == added.name) {
            registry.AddRegistrationNote(kLevelWarning, "Function \"" + added.name +
                                                            "\" is declared twice: the later declaration replaces the earlier one");
            continue;
        }
        const FunctionBindingBase& other = *earlier->binding;
        const std::string otherUrl = other.UrlTemplate()[0] != '\0' ? other.UrlTemplate() : earlier->name;
        if (otherUrl == url && other.MethodNumber() == binding.MethodNumber() &&
            MethodText(other) == MethodText(binding)) {
            registry.AddRegistrationNote(kLevelWarning, "Function \"" + added.name + "\" has the same method (" +
                                                            MethodText(binding) + ") and URL template \"" + url +
                                                            "\" as function \"" + earlier->name + "\"");
        }
    }
}

}  // namespace

const FunctionRecord* Expose(TypeRegistry& registry, const FunctionInfo& info,
                             std::unique_ptr<NativeBindingBase> binding, std::vector<ArgumentDeclaration> arguments) {
    if (info.name.empty()) {
        registry.AddRegistrationNote(kLevelError, "A function without a name is not exposed");
        return nullptr;
    }
    const std::string mistake = DeclarationMistake(info, arguments);
    if (!mistake.empty()) {
        registry.AddRegistrationNote(kLevelError,
                                     "Function \"" + std::string(info.name) + "\" is not exposed: " + mistake);
        return nullptr;
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
    const FunctionRecord* added = registry.AddFunction(std::move(record));
    if (added != nullptr) NoteDuplicates(registry, *added);
    return added;
}

}  // namespace Kesh::Detail
