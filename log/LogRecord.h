#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/Clock.h"

namespace Kesh {

#pragma pack(push, 1)

// One message as the targets receive it. The text is only valid during the write.
// Targets may be the host's, so the layout is fixed; read fields by value (they are
// packed: no reference or pointer to one).
struct LogRecord {
    Platform::LocalTime time;
    std::int32_t level;
    std::uint64_t categoryMask;
    const char* message;
};

#pragma pack(pop)

static_assert(sizeof(Platform::LocalTime) == 28);
static_assert(offsetof(LogRecord, level) == 28);
static_assert(offsetof(LogRecord, categoryMask) == 32);
static_assert(offsetof(LogRecord, message) == 40);
static_assert(sizeof(LogRecord) == 40 + sizeof(void*));
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(LogRecord) == 44);
#endif

}  // namespace Kesh
