#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/HostValue.h"

namespace Kesh {

#pragma pack(push, 1)

// What the host passes to an event callback: the event's name, its payload, and the
// context given when subscribing (the plugin object).
struct HostEvent {
    const char* name;
    HostValue payload;
    std::uintptr_t reserved;  // not read
    void* context;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostEvent) == 24);
static_assert(offsetof(HostEvent, payload) == 4);
static_assert(offsetof(HostEvent, context) == 20);
#endif

}  // namespace Kesh
