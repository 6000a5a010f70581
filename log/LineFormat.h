#pragma once

#include <cstddef>

#include "log/LogRecord.h"

namespace Kesh {

// Expands a target's line format for one record. Codes: #D time stamp, #E executable
// name, #G group names, #H seconds since the clock's first use, #L level text,
// #M message, #T thread id; "#" before any other character prints that character.
// The line always ends in exactly one line feed and is always terminated; the
// result is its length.
std::size_t FormatLine(const LogRecord& record, const char* format, const char* executableName,
                       char* buffer, std::size_t size);

}  // namespace Kesh
