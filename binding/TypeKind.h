#pragma once

#include <cstdint>

namespace Kesh {

// What a field, argument or return value is; the numbers are passed to the host as
// they are. None (0) marks an unused identifier.
enum class TypeKind : std::uint32_t {
    None = 0,
    Bool = 1,
    Int8 = 2,
    UInt8 = 3,
    Int16 = 4,
    UInt16 = 5,
    Int32 = 6,
    UInt32 = 7,
    Int64 = 8,
    UInt64 = 9,
    Float = 10,
    Double = 11,
    String = 12,
    Object = 13,
    Blob = 14,
    Vector = 15,
    Enum = 16,
    Struct = 17,
    Callback = 18,
    Map = 19,
};

// The text messages use for a kind number; "" outside 1..19.
const char* TypeKindName(std::uint32_t number);
const char* TypeKindName(TypeKind kind);

}  // namespace Kesh
