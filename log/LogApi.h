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

// Twenty-six pointers, each at its entry number.
static_assert(sizeof(LogApi) == 26 * sizeof(void*));
static_assert(offsetof(LogApi, version) == 0 * sizeof(void*));
static_assert(offsetof(LogApi, addReference) == 1 * sizeof(void*));
static_assert(offsetof(LogApi, releaseReference) == 2 * sizeof(void*));
static_assert(offsetof(LogApi, setLevel) == 3 * sizeof(void*));
static_assert(offsetof(LogApi, getLevel) == 4 * sizeof(void*));
static_assert(offsetof(LogApi, setExcludedMask) == 5 * sizeof(void*));
static_assert(offsetof(LogApi, getExcludedMask) == 6 * sizeof(void*));
static_assert(offsetof(LogApi, mute) == 7 * sizeof(void*));
static_assert(offsetof(LogApi, unmute) == 8 * sizeof(void*));
static_assert(offsetof(LogApi, setReservedFlag) == 9 * sizeof(void*));
static_assert(offsetof(LogApi, clearReservedFlag) == 10 * sizeof(void*));
static_assert(offsetof(LogApi, attachTarget) == 11 * sizeof(void*));
static_assert(offsetof(LogApi, detachTarget) == 12 * sizeof(void*));
static_assert(offsetof(LogApi, findTarget) == 13 * sizeof(void*));
static_assert(offsetof(LogApi, stdOutTarget) == 14 * sizeof(void*));
static_assert(offsetof(LogApi, stdErrTarget) == 15 * sizeof(void*));
static_assert(offsetof(LogApi, debuggerTarget) == 16 * sizeof(void*));
static_assert(offsetof(LogApi, addCategoryGroup) == 17 * sizeof(void*));
static_assert(offsetof(LogApi, categoryGroupNames) == 18 * sizeof(void*));
static_assert(offsetof(LogApi, formatLine) == 19 * sizeof(void*));
static_assert(offsetof(LogApi, levelText) == 20 * sizeof(void*));
static_assert(offsetof(LogApi, executableName) == 21 * sizeof(void*));
static_assert(offsetof(LogApi, currentTime) == 22 * sizeof(void*));
static_assert(offsetof(LogApi, formatTimestamp) == 23 * sizeof(void*));
static_assert(offsetof(LogApi, formatFileTimestamp) == 24 * sizeof(void*));
static_assert(offsetof(LogApi, log) == 25 * sizeof(void*));
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(LogApi) == 104);
static_assert(offsetof(LogApi, formatTimestamp) == 92);
static_assert(offsetof(LogApi, log) == 100);
#endif

// The library's table.
const LogApi& GetLogApi();

}  // namespace Kesh
