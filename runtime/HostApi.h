#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Abi.h"

namespace Kesh {

struct HostReply;
struct HostRequest;
struct HostEvent;

using HostEventCallback = void(PZL_CDECL*)(HostEvent* event);

// The host's function table. Every entry receives the table's own address first. The
// order of the entries is the host's binary interface.
struct HostApi {
    // 0: a synchronous request; the reply record is filled when it returns.
    void(PZL_CDECL* request)(HostApi* self, HostReply* reply, HostRequest* request);
    // 1 and 2: host services this SDK never calls; PluginBase only forwards them.
    void(PZL_CDECL* reserved1)(HostApi* self, std::uint32_t first, std::uint32_t second);
    void(PZL_CDECL* reserved2)(HostApi* self, std::uint32_t word);
    // 3: deliver every event of that name to callback, with context handed back.
    void(PZL_CDECL* subscribeEvent)(HostApi* self, const char* eventName, std::uint32_t clientId,
                                    HostEventCallback callback, void* context, std::uint32_t flags);
    // 4: stop delivering that event name.
    void(PZL_CDECL* unsubscribeEvent)(HostApi* self, const char* eventName, std::uint32_t clientId);
    // 5: another host service this SDK never calls.
    void(PZL_CDECL* reserved5)(HostApi* self, std::uint32_t first, std::uint32_t second, std::uint32_t third,
                               double value, std::uint32_t fourth);
    // 6, 7 and 8: a wait for the host is yield (7), then resume (6), then the result (8).
    void(PZL_CDECL* waitResume)(HostApi* self);
    void(PZL_CDECL* waitYield)(HostApi* self, const char* label, std::int32_t value);
    std::uint64_t(PZL_CDECL* waitResult)(HostApi* self);
    // 9: records one message in the host's log.
    void(PZL_CDECL* logMessage)(HostApi* self, std::int32_t level, const char* message);
};

// Ten pointers, each at its entry number.
static_assert(sizeof(HostApi) == 10 * sizeof(void*));
static_assert(offsetof(HostApi, request) == 0 * sizeof(void*));
static_assert(offsetof(HostApi, reserved1) == 1 * sizeof(void*));
static_assert(offsetof(HostApi, reserved2) == 2 * sizeof(void*));
static_assert(offsetof(HostApi, subscribeEvent) == 3 * sizeof(void*));
static_assert(offsetof(HostApi, unsubscribeEvent) == 4 * sizeof(void*));
static_assert(offsetof(HostApi, reserved5) == 5 * sizeof(void*));
static_assert(offsetof(HostApi, waitResume) == 6 * sizeof(void*));
static_assert(offsetof(HostApi, waitYield) == 7 * sizeof(void*));
static_assert(offsetof(HostApi, waitResult) == 8 * sizeof(void*));
static_assert(offsetof(HostApi, logMessage) == 9 * sizeof(void*));
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostApi) == 40);
static_assert(offsetof(HostApi, subscribeEvent) == 12);
static_assert(offsetof(HostApi, logMessage) == 36);
#endif

}  // namespace Kesh
