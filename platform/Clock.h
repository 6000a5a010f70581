#pragma once

#include <cstdint>

namespace Kesh::Platform {

// Local wall-clock time broken into the seven fields that log records carry.
struct LocalTime {
    std::int32_t year;
    std::int32_t month;
    std::int32_t day;
    std::int32_t hour;
    std::int32_t minute;
    std::int32_t second;
    std::int32_t millisecond;
};

LocalTime CurrentLocalTime();

// A monotonic high-resolution counter and the number of its ticks per second.
std::int64_t ReadPerformanceCounter();
std::int64_t PerformanceCounterFrequency();

}  // namespace Kesh::Platform
