#pragma once

#include <cstddef>
#include <string>

#include "binding/ConversionResult.h"

namespace Kesh {

// Reads one JSON value into a BindingProperty. The text ends at its first NUL. Empty or
// white-space-only text is an Empty value, not an error. Objects become Structures,
// arrays Collections; integers without a minus sign are Unsigned, with one Signed, and
// anything else (or beyond 64 bits) Float; null writes nothing. On a syntax error the
// result fails with "Error: <reason> at offset <byte offset>.".
ConversionResult ParseJson(const char* text);
// The same over the string's characters up to its first NUL.
ConversionResult ParseJson(const std::string& text);

// How deep ParseJson lets its faster, recursive reader nest before it reads the text
// again with the iterative one, whose call stack stays flat at any depth.
inline constexpr std::size_t kJsonRecursiveDepth = 256;
// ParseJson with another such bound (0: the iterative reader alone), so that tests can
// hand over at any depth. The result is the same whatever the bound.
ConversionResult ParseJson(const char* text, std::size_t recursiveDepth);

}  // namespace Kesh
