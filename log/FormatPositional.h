#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "log/FormatArgument.h"

namespace Kesh {

// The buffer size every message of the library is formatted into.
inline constexpr std::size_t kMessageBufferSize = 4096;

// Fills a template with numbered placeholders ("%1", "%2$05d", "%s", "%*3$d") from typed
// arguments. Writes at most size - 1 characters and always terminates (nothing at all
// when size is 0). A malformed directive, a missing argument or an unusable width ends
// the formatting: what was written so far is kept. Returns the length written.
std::size_t FormatPositional(char* buffer, std::size_t size, const char* templateText,
                             const FormatArgument* arguments, std::size_t count);

// The same into a kMessageBufferSize buffer, as a string.
std::string FormatPositionalString(const char* templateText, const FormatArgument* arguments,
                                   std::size_t count);
std::string FormatPositionalString(const char* templateText,
                                   std::initializer_list<FormatArgument> arguments = {});

}  // namespace Kesh
