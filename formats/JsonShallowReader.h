#pragma once

#include <cstddef>

#include "binding/BindingProperty.h"

namespace Kesh {

// Reads the JSON text (up to its first NUL) into value with RapidJSON's recursive reader,
// which is faster than the iterative one, nesting at most maxDepth levels. True when the
// text is valid and no deeper; otherwise false, and what value holds is of no use: the
// caller reads the text again the iterative way, which alone reports why and where.
bool ReadJsonShallow(const char* text, std::size_t maxDepth, BindingProperty& value);

}  // namespace Kesh
