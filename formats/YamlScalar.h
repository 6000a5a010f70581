#pragma once

#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

inline constexpr std::string_view kYamlStrTag = "tag:yaml.org,2002:str";
inline constexpr std::string_view kYamlIntTag = "tag:yaml.org,2002:int";
inline constexpr std::string_view kYamlFloatTag = "tag:yaml.org,2002:float";
inline constexpr std::string_view kYamlBoolTag = "tag:yaml.org,2002:bool";

// Types one YAML scalar in value position into target.
//   tagged str, int, float, bool: String; Signed or Unsigned; Float; Bool. Int and float
//     texts go through the number conversions and fail with their messages; a bool text
//     must be one of the true or false words. Any other tag fails.
//   untagged and quoted: String.
//   untagged plain or block: a null word is Empty, a finite number is Unsigned, Signed
//     or Float, a true or false word is Bool, anything else a String.
// tag is null when the scalar has none. scratch is a value the function may reuse
// between calls for the number conversions. Returns false after failing result.
bool AssignYamlScalar(ConversionResult& result, BindingProperty& target, const char* tag, std::string_view text,
                      bool quoted, BindingProperty& scratch);

// The typing of an untagged plain scalar alone (no failure is possible).
void AssignPlainYamlScalar(BindingProperty& target, std::string_view text);

// The same typing, for the reader's hot path: decimal integers of up to 18 digits and
// plain decimal numbers are read in one pass, and texts that cannot be a null or bool
// word skip the word lists. Everything else goes through AssignPlainYamlScalar, which
// stays the plain statement of the rules.
void AssignPlainYamlScalarFast(BindingProperty& target, std::string_view text);

}  // namespace Kesh
