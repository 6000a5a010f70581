#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

class TypeRegistry;
struct TypeRecord;

// The assign rules of the targets that are not numbers. Each returns whether the
// native storage now holds the input; on failure result carries the message and the
// storage holds false, an empty text or array, or zero. A result that has already
// failed only resets the storage.

bool AssignBool(ConversionResult& result, bool& out, const BindingProperty& input, const char* name);

// An Enum input gives its enumerator's name, looked up in registry by the value's type.
bool AssignString(ConversionResult& result, std::string& out, const BindingProperty& input, const char* name,
                  const TypeRegistry* registry);

// A String input must be base64 text.
bool AssignBlob(ConversionResult& result, std::vector<std::uint8_t>& out, const BindingProperty& input,
                const char* name);

// Any input is copied, Empty included.
bool AssignObject(ConversionResult& result, BindingProperty& out, const BindingProperty& input);

// native is an integer of size bytes (1, 2, 4 or 8); the number stored is always one
// of record's enumerator numbers. A size outside those four is never written.
bool AssignEnum(ConversionResult& result, void* native, std::size_t size, const TypeRecord* record,
                const BindingProperty& input, const char* name);

// Writes an enumerator number into an integer of size bytes, sign-extended.
void StoreEnumNumber(void* native, std::size_t size, std::int32_t number) noexcept;

}  // namespace Kesh
