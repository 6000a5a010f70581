#pragma once

#include <cstddef>
#include <string_view>

#include "binding/ConversionResult.h"

namespace Kesh {

// Reads one YAML document (UTF-8) into a BindingProperty: mappings become Structures
// with string keys, sequences Collections, scalars are typed by their tag or, untagged
// and unquoted, by their text. Aliases are copies of their anchored nodes. Every problem
// fails the result with a message that names its line and column.
ConversionResult ReadYaml(const char* text, std::size_t length);
inline ConversionResult ReadYaml(std::string_view text) { return ReadYaml(text.data(), text.size()); }

}  // namespace Kesh
