#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/HostValue.h"

namespace Kesh {

struct ApiFunctionUserData;

#pragma pack(push, 1)

// One typed argument of a request: named, or positional when the name is null.
struct HostArgument {
    const char* name;
    HostValue value;
};

// One header: two NUL-terminated texts.
struct HostHeader {
    const char* name;
    const char* value;
};

// A request as the caller fills it, whether the plugin calls the host or the host
// calls one of the plugin's functions. Everything in it belongs to the caller; when it
// comes from the host none of it is trusted.
struct HostRequest {
    // A host method number: read it through HttpMethodFromHost.
    std::uint32_t method;
    const char* url;
    HostArgument* arguments;
    std::uint32_t argumentCount;
    // The called function's user data from the API table.
    ApiFunctionUserData* userData;
    HostHeader* headers;
    std::uint32_t headerCount;
    const char* contentType;
    // Null for no body.
    const std::uint8_t* body;
    std::uint32_t bodyLength;
    std::uint32_t clientId;
    // Read only when the method is the custom one.
    const char* customMethod;
};

#pragma pack(pop)

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostArgument) == 16);
static_assert(offsetof(HostArgument, value) == 4);
static_assert(sizeof(HostHeader) == 8);
static_assert(sizeof(HostRequest) == 48);
static_assert(offsetof(HostRequest, url) == 4);
static_assert(offsetof(HostRequest, arguments) == 8);
static_assert(offsetof(HostRequest, argumentCount) == 12);
static_assert(offsetof(HostRequest, userData) == 16);
static_assert(offsetof(HostRequest, headers) == 20);
static_assert(offsetof(HostRequest, headerCount) == 24);
static_assert(offsetof(HostRequest, contentType) == 28);
static_assert(offsetof(HostRequest, body) == 32);
static_assert(offsetof(HostRequest, bodyLength) == 36);
static_assert(offsetof(HostRequest, clientId) == 40);
static_assert(offsetof(HostRequest, customMethod) == 44);
#endif

}  // namespace Kesh
