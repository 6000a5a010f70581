#pragma once

#include <cstdarg>
#include <cstddef>

#include "log/Log.h"

namespace Kesh {

// vsnprintf into a bounded buffer, always terminated, except that a number's decimal
// point is "." whatever locale the host set for the process. Returns the length
// written. "%n" writes nothing.
std::size_t FormatPrintf(char* buffer, std::size_t size, const char* format, std::va_list arguments)
    PZL_PRINTF_FORMAT(3, 0);

// Puts "." in place of the process locale's decimal point in the text of one formatted
// number (the locale's point occurs at most once there). Returns the new length.
std::size_t UseDotDecimalPoint(char* text, std::size_t length);

}  // namespace Kesh
