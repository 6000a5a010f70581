#pragma once

#include <cstddef>
#include <cstdint>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

// The enumerator number of an enum held in size bytes: 1 and 2 bytes extended by the
// enum's own signedness, 4 bytes as they are, 8 bytes by their low 32 bits; any other
// size reads as 0.
std::int32_t ReadEnumNumber(const void* native, std::size_t size, bool isUnsigned) noexcept;

// Whether a converted member holds its default and may be left out: Empty, false, 0,
// 0.0 (a NaN is not a default), an empty text, blob, collection or structure, or the
// enumerator number 0.
bool IsDefaultValue(const BindingProperty& value) noexcept;

// The one failure of the to-value direction that is its own.
void SetUnregisteredStructError(ConversionResult& result);

}  // namespace Kesh
