#pragma once

#include <cstdint>

#include "platform/Abi.h"

namespace Kesh {

struct HostReply;
struct HostRequest;
struct HostEvent;

using HostEventCallback = void(PZL_CDECL*)(HostEvent* event);

// The host's function table. Every entry receives the table's own address first.
struct HostApi {
    // 0: a synchronous request; the reply record is filled when it returns.
    void(PZL_CDECL* request)(HostApi* self, HostReply* reply, HostRequest* request);
    void(PZL_CDECL* entry1)(HostApi* self, std::uint32_t first, std::uint32_t second);
    void(PZL_CDECL* entry2)(HostApi* self, std::uint32_t word);
    // 3: deliver every event of that name to callback, with context handed back.
    void(PZL_CDECL* subscribe)(HostApi* self, const char* eventName, std::uint32_t clientId,
                               HostEventCallback callback, void* context, std::uint32_t flags);
    // 4: stop delivering that event name.
    void(PZL_CDECL* unsubscribe)(HostApi* self, const char* eventName, std::uint32_t clientId);
    void(PZL_CDECL* entry5)(HostApi* self, std::uint32_t first, std::uint32_t second, std::uint32_t third,
                            double value, std::uint32_t fourth);
    // 6, 7 and 8: the three steps of a wait for the host.
    void(PZL_CDECL* waitStep2)(HostApi* self);
    void(PZL_CDECL* waitStep1)(HostApi* self, const char* label, std::int32_t value);
    std::uint64_t(PZL_CDECL* waitStep3)(HostApi* self);
    // 9: records one message in the host's log.
    void(PZL_CDECL* log)(HostApi* self, std::int32_t level, const char* message);
};

}  // namespace Kesh
