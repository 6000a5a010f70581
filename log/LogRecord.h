#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace Kesh {

// One message as the targets receive it. The text is only valid during the write.
struct LogRecord {
    Platform::LocalTime time;
    std::int32_t level;
    std::uint64_t categoryMask;
    const char* message;
};

}  // namespace Kesh
