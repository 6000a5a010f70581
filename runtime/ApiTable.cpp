#include "runtime/ApiTable.h"

#include <cstring>
#include <string_view>
#include <unordered_set>

#include "binding/TypeRegistry.h"

namespace Kesh {

void ApiTableStorage::BuildFunctionRecords(TypeRegistry& registry,
                                           const std::vector<const FunctionRecord*>& functions) {
    functions_.clear();
    userData_.clear();
    // Later functions win a shared name: walk from the back and keep the first of each.
    std::vector<const FunctionRecord*> listed;
    std::unordered_set<std::string_view> seen;
    for (auto it = functions.rbegin(); it != functions.rend(); ++it) {
        const FunctionRecord* function = *it;
        if (function->dispatch != nullptr && seen.insert(function->name).second) {
            listed.push_back(function);
        }
    }
    // Sized before any record points at its user data, so no address moves later.
    functions_.resize(listed.size());
    userData_.resize(listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        const FunctionRecord* function = listed[listed.size() - 1 - i];  // declaration order
        userData_[i] = ApiFunctionUserData{&registry, function};
        ApiFunctionRecord& record = functions_[i];
        std::memset(static_cast<void*>(&record), 0, sizeof record);
        record.userData = &userData_[i];
        record.name = function->name.c_str();
        record.handler = function->dispatch;
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
