#pragma once

#include <cstdint>

#include "platform/Abi.h"

namespace Kesh::Platform {

// Mirrors of the system's event-tracing records, laid out as the system expects them.
struct TraceGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

struct TraceEventDescriptor {
    std::uint16_t id;
    std::uint8_t version;
    std::uint8_t channel;
    std::uint8_t level;
    std::uint8_t opcode;
    std::uint16_t task;
    std::uint64_t keyword;
};

struct TraceDataDescriptor {
    std::uint64_t pointer;
    std::uint32_t size;
    std::uint32_t reserved;
};

using TraceHandle = std::uint64_t;

// Notification codes the system passes to an enablement callback.
inline constexpr std::uint32_t kTraceDisable = 0;
inline constexpr std::uint32_t kTraceEnable = 1;

using TraceEnableCallback = void(PZL_STDCALL*)(const TraceGuid* source, std::uint32_t isEnabled,
                                               std::uint8_t level, std::uint64_t matchAnyKeyword,
                                               std::uint64_t matchAllKeyword, void* filterData,
                                               void* callbackContext);
using TraceRegisterFunction = std::uint32_t(PZL_STDCALL*)(const TraceGuid* provider,
                                                          TraceEnableCallback callback,
                                                          void* callbackContext,
                                                          TraceHandle* handle);
using TraceWriteFunction = std::uint32_t(PZL_STDCALL*)(TraceHandle handle,
                                                       const TraceEventDescriptor* descriptor,
                                                       std::uint32_t dataCount,
                                                       TraceDataDescriptor* data);
using TraceUnregisterFunction = std::uint32_t(PZL_STDCALL*)(TraceHandle handle);

// The tracing entry points, each null when the system does not offer it.
struct EventTracingApi {
    TraceRegisterFunction eventRegister = nullptr;
    TraceWriteFunction eventWrite = nullptr;
    TraceUnregisterFunction eventUnregister = nullptr;
};

// Looks the entry points up at run time; all null where event tracing does not exist.
EventTracingApi LoadEventTracing();

}  // namespace Kesh::Platform
