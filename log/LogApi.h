#pragma once

#include <cstddef>
#include <cstdint>

#include "log/LogRecord.h"
#include "log/LogTargetInterface.h"
#include "platform/Abi.h"
#include "platform/Clock.h"

namespace Kesh {

// The log manager as a table of plain functions, for code that holds only the table.
// The entry order is fixed.
struct LogApi {
    std::uint32_t(PZL_CDECL* version)();
    void(PZL_CDECL* addReference)();
    void(PZL_CDECL* releaseReference)();
    void(PZL_CDECL* setLevel)(std::int32_t level);
    std::int32_t(PZL_CDECL* getLevel)();
    void(PZL_CDECL* setExcludedMask)(std::uint64_t mask);
    std::uint64_t(PZL_CDECL* getExcludedMask)();
    void(PZL_CDECL* mute)();
    void(PZL_CDECL* unmute)();
    void(PZL_CDECL* setReservedFlag)();
    void(PZL_CDECL* clearReservedFlag)();
    void(PZL_CDECL* attachTarget)(LogTargetInterface* target);
    void(PZL_CDECL* detachTarget)(LogTargetInterface* target);
    LogTargetInterface*(PZL_CDECL* findTarget)(const char* name);
    LogTargetInterface*(PZL_CDECL* stdOutTarget)();
    LogTargetInterface*(PZL_CDECL* stdErrTarget)();
    LogTargetInterface*(PZL_CDECL* debuggerTarget)();
    std::uint64_t(PZL_CDECL* addCategoryGroup)(const char* name);
    std::size_t(PZL_CDECL* categoryGroupNames)(std::uint64_t mask, char* buffer, std::size_t size);
    std::size_t(PZL_CDECL* formatLine)(const LogRecord* record, const char* format, char* buffer,
                                       std::size_t size);
    const char*(PZL_CDECL* levelText)(std::int32_t level);
    const char*(PZL_CDECL* executableName)();
    void(PZL_CDECL* currentTime)(Platform::LocalTime* time);
    std::size_t(PZL_CDECL* formatTimestamp)(const Platform::LocalTime* time, char* buffer, std::size_t size);
    std::size_t(PZL_CDECL* formatFileTimestamp)(const Platform::LocalTime* time, char* buffer,
                                                std::size_t size);
    // The mask arrives as two 32-bit halves, low half first.
    void(PZL_CDECL* log)(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh,
                         const char* format, ...);
};

// The library's table.
const LogApi& GetLogApi();

}  // namespace Kesh
