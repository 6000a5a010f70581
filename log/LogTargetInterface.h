#pragma once

#include <cstddef>
#include <cstdint>

#include "log/LogRecord.h"
#include "platform/Abi.h"

namespace Kesh {

// The plain function table through which the manager sees a target. Each function
// takes the table's own address first, so a target need not be a C++ LogTarget.
struct LogTargetInterface {
    std::uint32_t(PZL_CDECL* version)(LogTargetInterface* self);
    void(PZL_CDECL* setLevel)(LogTargetInterface* self, std::int32_t level);
    std::int32_t(PZL_CDECL* getLevel)(LogTargetInterface* self);
    // Stores included & ~excluded as the included mask and excluded as given.
    void(PZL_CDECL* setMasks)(LogTargetInterface* self, std::uint64_t included, std::uint64_t excluded);
    std::uint64_t(PZL_CDECL* getIncludedMask)(LogTargetInterface* self);
    std::uint64_t(PZL_CDECL* getExcludedMask)(LogTargetInterface* self);
    const char*(PZL_CDECL* name)(LogTargetInterface* self);
    const char*(PZL_CDECL* format)(LogTargetInterface* self);
    void(PZL_CDECL* attach)(LogTargetInterface* self);
    void(PZL_CDECL* detach)(LogTargetInterface* self);
    bool(PZL_CDECL* isAttached)(LogTargetInterface* self);
    bool(PZL_CDECL* write)(LogTargetInterface* self, const LogRecord* record);
};

// Twelve pointers, each at its entry number.
static_assert(sizeof(LogTargetInterface) == 12 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, version) == 0 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, setLevel) == 1 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, getLevel) == 2 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, setMasks) == 3 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, getIncludedMask) == 4 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, getExcludedMask) == 5 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, name) == 6 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, format) == 7 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, attach) == 8 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, detach) == 9 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, isAttached) == 10 * sizeof(void*));
static_assert(offsetof(LogTargetInterface, write) == 11 * sizeof(void*));
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(LogTargetInterface) == 48);
static_assert(offsetof(LogTargetInterface, write) == 44);
#endif

}  // namespace Kesh
