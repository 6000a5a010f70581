#include "runtime/ApiTable.h"

#include "binding/TypeRegistry.h"

namespace Kesh {

void ApiTableStorage::BuildFunctionRecords(const std::vector<const FunctionRecord*>& functions) {
    // The dispatch entry that would serve these does not exist yet (see the header).
    static_cast<void>(functions);
    functions_.clear();
    userData_.clear();
}

ApiTable* ApiTableStorage::Build(const TypeRegistry& registry) {
    // Each snapshot is taken under the registry's lock; building from them needs none.
    const std::vector<const FunctionRecord*> functions = registry.FunctionSnapshot();
    const std::vector<const TypeRecord*> types = registry.TypeSnapshot();
    const std::vector<const EventRecord*> events = registry.EventSnapshot();

    BuildFunctionRecords(functions);
    description_.Build(types, events);

    table_.functions = functions_.empty() ? nullptr : functions_.data();
    table_.functionCount = static_cast<std::uint32_t>(functions_.size());
    table_.types = description_.Types();
    table_.typeCount = description_.TypeCount();
    table_.events = description_.Events();
    table_.eventCount = description_.EventCount();
    return &table_;
}

ApiTable* BuildApiTable(const TypeRegistry& registry, ApiTableStorage& storage) { return storage.Build(registry); }

}  // namespace Kesh
