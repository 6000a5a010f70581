#include "log/TimeFormat.h"

#include <cstdio>

namespace Kesh {
namespace {

// snprintf's count is what the text would need; report what actually landed.
std::size_t Written(int wanted, std::size_t size) {
    if (wanted < 0 || size == 0) {
        return 0;
    }
    return static_cast<std::size_t>(wanted) < size ? static_cast<std::size_t>(wanted) : size - 1;
}

}  // namespace

std::size_t FormatTimestamp(const Platform::LocalTime& time, char* buffer, std::size_t size) {
    if (buffer == nullptr) {
        return 0;
    }
    const int wanted = std::snprintf(buffer, size, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", time.year,
                                     time.month, time.day, time.hour, time.minute, time.second,
                                     time.millisecond);
    return Written(wanted, size);
}

std::size_t FormatFileTimestamp(const Platform::LocalTime& time, char* buffer, std::size_t size) {
    if (buffer == nullptr) {
        return 0;
    }
    const int wanted = std::snprintf(buffer, size, "%04d-%02d-%02dT%02d-%02d-%02d", time.year,
                                     time.month, time.day, time.hour, time.minute, time.second);
    return Written(wanted, size);
}

}  // namespace Kesh
