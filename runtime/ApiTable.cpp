#include "runtime/ApiTable.h"

#include <cstring>
#include <string_view>
#include <unordered_set>

#include "binding/TypeRegistry.h"

namespace Kesh {

namespace {

// What an empty list points at: the host is told "an array of 0", never null. Nothing
// writes through it.
ParameterDescriptionRecord* NoParameters() {
    static ParameterDescriptionRecord none{};
    return &none;
}

// Fills the descriptive part of a function's record from the registry's record and its
// binding; parameters and tags are the function's own arrays, already at their size.
void Describe(const FunctionRecord& function, std::vector<ParameterDescriptionRecord>& parameters,
              std::vector<const char*>& tags, ApiFunctionRecord& record) {
    const FunctionBindingBase* binding = function.binding.get();
    for (std::size_t p = 0; p < parameters.size(); ++p) {
        const FunctionArgument& argument = function.arguments[p];
        const HostTypeDescription type = DescribeHostType(argument.type);
        ParameterDescriptionRecord& parameter = parameters[p];
        parameter.next = p + 1 < parameters.size() ? &parameters[p + 1] : nullptr;
        parameter.name = argument.name.c_str();
        parameter.description = argument.description.c_str();
        parameter.location = binding != nullptr ? binding->LocationNumber(p) : 0;
        parameter.kind = type.kind;
        parameter.elementKind = type.elementKind;
        parameter.typeName = type.typeName;
        parameter.optional = argument.optional ? 1 : 0;
    }
    for (std::size_t t = 0; t < tags.size(); ++t) tags[t] = function.tags[t].c_str();

    record.nameSpace = function.nameSpace.c_str();
    record.description = function.description.c_str();
    record.help = function.help.c_str();
    record.method = binding != nullptr ? binding->MethodNumber() : 0;
    record.customMethod = binding != nullptr ? binding->CustomMethodName() : "";
    // The dispatcher matches a function without a template by its name.
    const char* url = binding != nullptr ? binding->UrlTemplate() : "";
    record.urlTemplate = url[0] != '\0' ? url : function.name.c_str();
    record.parameters = parameters.empty() ? NoParameters() : parameters.data();
    record.parameterCount = static_cast<std::uint32_t>(parameters.size());
    const HostTypeDescription returns = DescribeHostType(function.returns);
    record.returnKind = returns.kind;
    record.returnElementKind = returns.elementKind;
    record.returnTypeName = returns.typeName;
    record.isAsync = function.isAsync ? 1 : 0;
    record.threadSafe = function.threadSafe ? 1 : 0;
    const HostTypeDescription asyncResult = DescribeHostType(function.asyncResult);
    record.asyncResultKind = asyncResult.kind;
    record.asyncResultElementKind = asyncResult.elementKind;
    record.asyncResultTypeName = asyncResult.typeName;
    record.tags = tags.empty() ? NoTags() : tags.data();
    record.tagCount = static_cast<std::uint32_t>(tags.size());
}

}  // namespace

void ApiTableStorage::BuildFunctionRecords(TypeRegistry& registry,
                                           const std::vector<const FunctionRecord*>& functions) {
    functions_.clear();
    userData_.clear();
    parameters_.clear();
    functionTags_.clear();
    // Later functions win a shared name: walk from the back and keep the first of each.
    std::vector<const FunctionRecord*> listed;
    std::unordered_set<std::string_view> seen;
    for (auto it = functions.rbegin(); it != functions.rend(); ++it) {
        const FunctionRecord* function = *it;
        if (function->dispatch != nullptr && seen.insert(function->name).second) {
            listed.push_back(function);
        }
    }
    // Every array is sized before any record points into it, so no address moves later.
    functions_.resize(listed.size());
    userData_.resize(listed.size());
    parameters_.assign(listed.size(), {});
    functionTags_.assign(listed.size(), {});
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const FunctionRecord* function = listed[listed.size() - 1 - i];  // declaration order
        parameters_[i].resize(function->arguments.size());
        functionTags_[i].resize(function->tags.size());
    }
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const FunctionRecord* function = listed[listed.size() - 1 - i];
        userData_[i] = ApiFunctionUserData{&registry, function};
        ApiFunctionRecord& record = functions_[i];
        std::memset(static_cast<void*>(&record), 0, sizeof record);
        record.userData = &userData_[i];
        record.name = function->name.c_str();
        record.handler = function->dispatch;
        Describe(*function, parameters_[i], functionTags_[i], record);
    }
}

ApiTable* ApiTableStorage::Build(TypeRegistry& registry) {
    // Each snapshot is taken under the registry's lock; building from them needs none.
    const std::vector<const FunctionRecord*> functions = registry.FunctionSnapshot();
    const std::vector<const TypeRecord*> types = registry.TypeSnapshot();
    const std::vector<const EventRecord*> events = registry.EventSnapshot();

    BuildFunctionRecords(registry, functions);
    description_.Build(types, events);

    table_.functions = functions_.empty() ? nullptr : functions_.data();
    table_.functionCount = static_cast<std::uint32_t>(functions_.size());
    table_.types = description_.Types();
    table_.typeCount = description_.TypeCount();
    table_.events = description_.Events();
    table_.eventCount = description_.EventCount();
    return &table_;
}

ApiTable* BuildApiTable(TypeRegistry& registry, ApiTableStorage& storage) { return storage.Build(registry); }

}  // namespace Kesh
