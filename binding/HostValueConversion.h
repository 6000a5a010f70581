#pragma once

#include "binding/BindingProperty.h"
#include "binding/HostValue.h"

namespace Kesh {

class TypeRegistry;

// Converts a dynamic value into a host record tree owned by the record (released
// first). Enum values go by their enumerator's name when the registry knows one for
// the number, else by their number. Always succeeds; exhausted memory throws and leaves
// the record Empty.
bool ToHostValue(const BindingProperty& value, HostValue& record, const TypeRegistry* registry = nullptr);

// Reads a host record tree into value (cleared first). The host's records are not
// trusted: an unknown kind, a null pointer with a non-zero count, a member without a
// key or a collection too large to hold fail the conversion. On failure the message,
// which names the value as name, becomes the error of result, value is left Empty and
// false is returned. Neither direction recurses, so any depth is safe.
bool FromHostValue(const HostValue& record, BindingProperty& value, const char* name, HostResultHead& result);

}  // namespace Kesh
