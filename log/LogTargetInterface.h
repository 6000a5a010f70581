#pragma once

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

}  // namespace Kesh
