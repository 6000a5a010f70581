#pragma once

#include <cstdarg>
#include <cstdint>

#include "log/LogLevel.h"

#if defined(__MINGW32__)
#define PZL_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define PZL_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#endif

namespace Kesh {

// The log call: a printf-style message at a level, in the category groups of mask.
// Never fails; a message that is filtered out costs no formatting, and one longer
// than 4095 characters is cut.
void Log(std::int32_t level, std::uint64_t mask, const char* format, ...) PZL_PRINTF_FORMAT(3, 4);
void LogV(std::int32_t level, std::uint64_t mask, const char* format, std::va_list arguments)
    PZL_PRINTF_FORMAT(3, 0);

}  // namespace Kesh
