#pragma once

#include <string>

#include "binding/BindingProperty.h"

namespace Kesh::StandIn {

// A value as JSON text: Blob as base64-free byte lists would hide their size, so a Blob
// is written as {"blob": size}; Enum as its number; nesting deeper than 200 levels is
// cut with "...". indent 0 gives one line.
std::string ToJson(const BindingProperty& value, int indent = 0);

// Values equal for a scenario: numbers by value whatever their kind, texts, bools,
// lists element by element, structures with the same keys and equal members.
bool ValuesEqual(const BindingProperty& left, const BindingProperty& right);

// A "*" matches any text, everything else itself.
bool MatchesPattern(std::string_view text, std::string_view pattern);

}  // namespace Kesh::StandIn
