#pragma once

#include <cstdint>

namespace Kesh {

// One message as the targets receive it. The text is only valid during the write.
struct LogRecord {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
    std::int32_t millisecond;
    std::int32_t level;
    std::uint64_t categoryMask;
    const char* message;
};

}  // namespace Kesh
