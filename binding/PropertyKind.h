#pragma once

#include <cstdint>

namespace Kesh {

// The kind of a dynamic value; the numbers are part of the value's layout.
enum class PropertyKind : std::uint8_t {
    Empty = 0,
    Bool = 1,
    Signed = 2,
    Unsigned = 3,
    Float = 4,
    String = 5,
    Blob = 6,
    Enum = 7,
    Collection = 8,
    Structure = 9,
};

// The text that messages use for a kind number; "" for a number above 9.
const char* PropertyKindName(unsigned kind) noexcept;

inline const char* PropertyKindName(PropertyKind kind) noexcept {
    return PropertyKindName(static_cast<unsigned>(kind));
}

}  // namespace Kesh
