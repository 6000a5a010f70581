#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Abi.h"
#include "runtime/HostApi.h"

namespace Kesh {

struct HostContext;
struct MemoryStats;
struct ApiTable;

// The three entry points the plugin hands to the host. The handle is the plugin
// object, passed back as the first argument of every call.
struct PluginCallbacks {
    std::uint8_t(PZL_CDECL* init)(void* plugin, HostContext* context);
    void(PZL_CDECL* unload)(void* plugin);
    void(PZL_CDECL* memoryStats)(void* plugin, MemoryStats* stats);
};

#pragma pack(push, 1)

// Filled by the host with the core's API version, overwritten by the export with the
// plugin's version and its entry points.
struct HostRegistration {
    std::uint32_t major;
    std::uint32_t minor;
    std::uint32_t patch;
    PluginCallbacks* callbacks;
    void* plugin;
    const char* shortName;
    ApiTable* apiTable;
};

// Owned by the host, valid until unload.
struct HostContext {
    HostApi* api;
    std::uint32_t clientId;
};

// The allocation counters as the host reads them.
struct MemoryStats {
    std::uint64_t peakLiveBytes;
    std::uint64_t liveAllocationsAtPeak;
    std::uint64_t bytesAllocated;
    std::uint64_t allocationCount;
    std::uint64_t bytesFreed;
    std::uint64_t freeCount;
    std::uint64_t reserved;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(PluginCallbacks) == 12);
static_assert(sizeof(HostRegistration) == 28);
static_assert(offsetof(HostRegistration, callbacks) == 12);
static_assert(offsetof(HostRegistration, plugin) == 16);
static_assert(offsetof(HostRegistration, shortName) == 20);
static_assert(offsetof(HostRegistration, apiTable) == 24);
static_assert(sizeof(HostContext) == 8);
static_assert(offsetof(HostContext, clientId) == 4);
static_assert(sizeof(HostApi) == 40);
#endif
static_assert(sizeof(MemoryStats) == 56);
static_assert(offsetof(MemoryStats, reserved) == 48);

// Fills stats from the library's allocation counters; the reserved field is 0.
void ReadMemoryStats(MemoryStats& stats);

}  // namespace Kesh
