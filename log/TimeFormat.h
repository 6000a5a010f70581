#pragma once

#include <cstddef>

#include "platform/Clock.h"

namespace Kesh {

// "2026-12-06T19:23:00.042": the time stamp of a log line.
std::size_t FormatTimestamp(const Platform::LocalTime& time, char* buffer, std::size_t size);

// "2026-12-06T19-23-00": the same time without milliseconds and without the
// characters that file names may not hold.
std::size_t FormatFileTimestamp(const Platform::LocalTime& time, char* buffer, std::size_t size);

}  // namespace Kesh
