#pragma once

#include <cstdint>

namespace Kesh {

class BindingProperty;
class PropertyContext;
struct MemberNode;

// The header of a Collection: a growable array of values on the general heap. While a
// tree is being released, the capacity word links headers still to be emptied, so that
// releasing a deep tree needs neither recursion nor memory.
struct CollectionCell {
    BindingProperty* begin;
    BindingProperty* end;
    union {
        BindingProperty* capacity;
        CollectionCell* nextPending;
    };
};

// The header of a Structure: the root of its ordered member tree. The context word
// links headers still to be emptied while a tree is being released.
struct StructureCell {
    union {
        PropertyContext* context;
        StructureCell* nextPending;
    };
    MemberNode* root;
    std::uint32_t count;
};

}  // namespace Kesh
