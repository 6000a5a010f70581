#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "binding/ApiDescription.h"
#include "binding/FunctionRecord.h"
#include "platform/Abi.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"

namespace Kesh {

class TypeRegistry;

// What the host hands back, through a request's user data, when it calls one of the
// plugin's functions.
struct ApiFunctionUserData {
    TypeRegistry* registry;
    const FunctionRecord* function;
};

// The entry the host calls to run an exposed function: it fills the reply.
using ApiFunctionHandler = FunctionDispatchEntry;

#pragma pack(push, 1)

// One exposed function as the host sees it. The host relies on the user data, the name
// and the handler; the bytes between them are not read by this plugin's host and stay
// zero.
struct ApiFunctionRecord {
    std::uint8_t reserved0[8];
    ApiFunctionUserData* userData;
    const char* name;
    std::uint8_t reserved1[45];
    ApiFunctionHandler handler;
    std::uint8_t reserved2[25];
};

// Word 6 of the registration record: the plugin's functions and the descriptions of its
// types and events. Owned by the plugin until unload.
struct ApiTable {
    ApiFunctionRecord* functions;
    std::uint32_t functionCount;
    TypeDescriptionRecord* types;
    std::uint32_t typeCount;
    EventDescriptionRecord* events;
    std::uint32_t eventCount;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ApiFunctionRecord) == 90);
static_assert(offsetof(ApiFunctionRecord, userData) == 8);
static_assert(offsetof(ApiFunctionRecord, name) == 12);
static_assert(offsetof(ApiFunctionRecord, handler) == 61);
static_assert(sizeof(ApiTable) == 24);
static_assert(offsetof(ApiTable, functionCount) == 4);
static_assert(offsetof(ApiTable, types) == 8);
static_assert(offsetof(ApiTable, typeCount) == 12);
static_assert(offsetof(ApiTable, events) == 16);
static_assert(offsetof(ApiTable, eventCount) == 20);
#endif

// The API table and every array it points at. Building again replaces the arrays, so a
// table handed to the host stays valid until the next build or the storage's end.
class ApiTableStorage {
public:
    ApiTableStorage() = default;
    ApiTableStorage(const ApiTableStorage&) = delete;
    ApiTableStorage& operator=(const ApiTableStorage&) = delete;

    // Fills the table from snapshots of the registry's functions, types and events. The
    // registry must outlive the table: its texts are borrowed.
    ApiTable* Build(TypeRegistry& registry);

    ApiTable* Table() noexcept { return &table_; }

private:
    // One record per function that has a dispatch entry (a record without one would
    // hand the host a null handler to call). When two functions share a name, only the
    // later one is listed, as lookups by name reach only that one.
    void BuildFunctionRecords(TypeRegistry& registry, const std::vector<const FunctionRecord*>& functions);

    ApiTable table_{};
    ApiDescription description_;
    std::vector<ApiFunctionRecord> functions_;
    std::vector<ApiFunctionUserData> userData_;
};

// Builds storage's table from the registry and returns it.
ApiTable* BuildApiTable(TypeRegistry& registry, ApiTableStorage& storage);

}  // namespace Kesh
