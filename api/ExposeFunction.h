#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "api/ApiResult.h"
#include "api/ArgumentLocation.h"
#include "api/RequestContext.h"
#include "api/detail/NativeFunctionBinding.h"
#include "binding/FunctionRecord.h"
#include "binding/TypeRegistry.h"
#include "runtime/HttpMethod.h"

namespace Kesh {

// One argument of an exposed function: its name, where it may come from, whether it
// may be left out, and what it means. Made by the helpers below:
//     InPath("id", "The item's number"), InQuery("scale").Optional()
struct ArgumentInfo {
    std::string_view name{};
    ArgumentLocation location = ArgumentLocation::Any;
    std::string_view description{};
    bool optional = false;

    // A left-out optional argument reaches the function as its type's default value
    // (std::nullopt for a std::optional parameter, which is optional by itself).
    constexpr ArgumentInfo Optional() const {
        ArgumentInfo copy = *this;
        copy.optional = true;
        return copy;
    }
};

// A header, a captured path parameter or the query string.
constexpr ArgumentInfo Anywhere(std::string_view name, std::string_view description = {}) {
    return {name, ArgumentLocation::Any, description};
}
constexpr ArgumentInfo InQuery(std::string_view name, std::string_view description = {}) {
    return {name, ArgumentLocation::Query, description};
}
constexpr ArgumentInfo InPath(std::string_view name, std::string_view description = {}) {
    return {name, ArgumentLocation::Path, description};
}
// Matched against the request's headers by the lower-case name.
constexpr ArgumentInfo InHeader(std::string_view name, std::string_view description = {}) {
    return {name, ArgumentLocation::Header, description};
}
// The request body, read by its content type (JSON, MessagePack or YAML).
constexpr ArgumentInfo InBody(std::string_view name, std::string_view description = {}) {
    return {name, ArgumentLocation::Body, description};
}

// What is said about an exposed function besides its arguments.
struct FunctionInfo {
    // The name callers (and the host's API table) know it by.
    std::string_view name{};
    // None accepts every method.
    HttpMethod method = HttpMethod::None;
    // The URL template: literal text with {name} (one path segment), {+name} (the rest
    // of the path) or {#name} (a fragment). Empty: the function's name.
    std::string_view url{};
    std::string_view description{};
    // The method's name when method is Custom.
    std::string_view customMethod{};
    std::string_view help{};
    std::string_view nameSpace{};
    std::vector<std::string> tags{};
};

// Exposes a native function to the host: a function pointer or a lambda (without auto
// parameters) whose parameters are native types the registry can convert (numbers,
// bool, std::string, BindingProperty, declared enums and structs, vectors, maps,
// std::optional), optionally preceded by a const RequestContext&. It returns such a
// type, ApiResult<T> to fail with a message and status, StreamReply for a streamed body,
// or void. One ArgumentInfo per parameter, in order; their count is checked against the
// signature at compile time, and the parameter and result types come from the
// signature, so the description cannot drift from the code:
//
//     ExposeFunction(registry, {.name = "GetItem", .method = HttpMethod::Get,
//                               .url = "/sample/v1/items/{id}", .description = "One item."},
//                    &GetItem, {InPath("id", "The item's number"), InQuery("verbose")});
//
// Declare the enum and struct types it uses first. The function may be called on
// several threads at once. Returns the registered record, or null for a declaration
// that could never be called successfully: a function or argument without a name, an
// argument named twice, an InPath argument that is not a placeholder of the template,
// a placeholder without an argument of its name, a "{" never closed. Such a function is
// not exposed; the plugin logs one error line naming it and the mistake, and a warning
// line when a function replaces one of the same name or shares another's method and
// template (see TypeRegistry::RegistrationNotes).
template <typename Function, std::size_t N>
const FunctionRecord* ExposeFunction(TypeRegistry& registry, const FunctionInfo& info, Function function,
                                     const ArgumentInfo (&arguments)[N]) {
    using Binding = Detail::NativeFunctionBindingOf<Function>;
    static_assert(N == Binding::kParameterCount,
                  "give exactly one ArgumentInfo per parameter (a leading RequestContext has none)");
    std::vector<Detail::ArgumentDeclaration> declared;
    declared.reserve(N);
    for (const ArgumentInfo& argument : arguments) {
        declared.push_back({std::string(argument.name), argument.location, std::string(argument.description),
                            argument.optional});
    }
    return Detail::Expose(registry, info, std::make_unique<Binding>(std::move(function)), std::move(declared));
}

// The same for a function without parameters (besides a RequestContext).
template <typename Function>
const FunctionRecord* ExposeFunction(TypeRegistry& registry, const FunctionInfo& info, Function function) {
    using Binding = Detail::NativeFunctionBindingOf<Function>;
    static_assert(Binding::kParameterCount == 0, "this function takes parameters: describe each one");
    return Detail::Expose(registry, info, std::make_unique<Binding>(std::move(function)), {});
}

// A member function of the plugin class, called on plugin (which must outlive the
// registry, as the plugin object does):
//
//     ExposeFunction(*this, {.name = "Count", .url = "/my/v1/count"}, &MyPlugin::Count);
template <typename Plugin, typename Member, std::size_t N>
    requires std::is_member_function_pointer_v<Member>
const FunctionRecord* ExposeFunction(Plugin& plugin, const FunctionInfo& info, Member member,
                                     const ArgumentInfo (&arguments)[N]) {
    return ExposeFunction(plugin.Registry(), info, Detail::BindMember(plugin, member), arguments);
}

template <typename Plugin, typename Member>
    requires std::is_member_function_pointer_v<Member>
const FunctionRecord* ExposeFunction(Plugin& plugin, const FunctionInfo& info, Member member) {
    return ExposeFunction(plugin.Registry(), info, Detail::BindMember(plugin, member));
}

}  // namespace Kesh
