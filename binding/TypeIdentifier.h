#pragma once

#include "binding/TypeKind.h"

namespace Kesh {

struct TypeRecord;

// What a field, argument or return value holds. A vector or map describes its
// elements one level deep: an element is never itself a vector or map.
struct TypeIdentifier {
    TypeKind kind = TypeKind::None;
    // Kind of the elements of a vector or map, else None.
    TypeKind elementKind = TypeKind::None;
    // Record of the enum or struct (of the element type for a vector or map), or null.
    const TypeRecord* record = nullptr;

    bool IsSet() const { return kind != TypeKind::None; }
};

}  // namespace Kesh
