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
// and the handler, which stay where they are; the rest describes the function (its
// route, parameters and result) for hosts and tools that list a plugin's API. Texts are
// borrowed from the registry, arrays belong to the table's storage.
struct ApiFunctionRecord {
    std::uint8_t reserved0[8];
    ApiFunctionUserData* userData;
    const char* name;
    const char* nameSpace;
    const char* description;
    // HttpMethod number; 0 accepts every method, 8 is the custom method named below.
    std::uint32_t method;
    const char* customMethod;
    // The URL template the function is matched against ({name}, {+name}, {#name}).
    const char* urlTemplate;
    ParameterDescriptionRecord* parameters;
    std::uint32_t parameterCount;
    // The result: TypeKind numbers (0 for none, as for a streamed or empty reply) and
    // the referenced type record's name, as for a field.
    std::uint32_t returnKind;
    std::uint32_t returnElementKind;
    const char* returnTypeName;
    std::uint8_t isAsync;
    std::uint8_t threadSafe;
    std::uint8_t reserved1[3];
    ApiFunctionHandler handler;
    // The completion's result type of an asynchronous function, else zeros and "".
    std::uint32_t asyncResultKind;
    std::uint32_t asyncResultElementKind;
    const char* asyncResultTypeName;
    const char* help;
    const char* const* tags;
    std::uint32_t tagCount;
    std::uint8_t reserved2[1];
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
static_assert(offsetof(ApiFunctionRecord, nameSpace) == 16);
static_assert(offsetof(ApiFunctionRecord, description) == 20);
static_assert(offsetof(ApiFunctionRecord, method) == 24);
static_assert(offsetof(ApiFunctionRecord, customMethod) == 28);
static_assert(offsetof(ApiFunctionRecord, urlTemplate) == 32);
static_assert(offsetof(ApiFunctionRecord, parameters) == 36);
static_assert(offsetof(ApiFunctionRecord, parameterCount) == 40);
static_assert(offsetof(ApiFunctionRecord, returnKind) == 44);
static_assert(offsetof(ApiFunctionRecord, returnElementKind) == 48);
static_assert(offsetof(ApiFunctionRecord, returnTypeName) == 52);
static_assert(offsetof(ApiFunctionRecord, isAsync) == 56);
static_assert(offsetof(ApiFunctionRecord, threadSafe) == 57);
static_assert(offsetof(ApiFunctionRecord, handler) == 61);
static_assert(offsetof(ApiFunctionRecord, asyncResultKind) == 65);
static_assert(offsetof(ApiFunctionRecord, asyncResultElementKind) == 69);
static_assert(offsetof(ApiFunctionRecord, asyncResultTypeName) == 73);
static_assert(offsetof(ApiFunctionRecord, help) == 77);
static_assert(offsetof(ApiFunctionRecord, tags) == 81);
static_assert(offsetof(ApiFunctionRecord, tagCount) == 85);
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
    // Per-function arrays; each is sized once and never grows, so the records keep
    // their addresses.
    std::vector<std::vector<ParameterDescriptionRecord>> parameters_;
    std::vector<std::vector<const char*>> functionTags_;
};

// Builds storage's table from the registry and returns it.
ApiTable* BuildApiTable(TypeRegistry& registry, ApiTableStorage& storage);

}  // namespace Kesh
