#pragma once

#include <cstdint>

namespace Kesh {

class BindingProperty;
class PropertyContext;
struct MemberNode;

// The header of a Collection: a growable array of values in the context's storage. While
// a tree is being released, nextPending links headers still to be emptied, so that
// releasing a deep tree needs neither recursion nor memory; the capacity is still needed
// then, to return the array to the pool it came from.
struct CollectionCell {
    BindingProperty* begin;
    BindingProperty* end;
    BindingProperty* capacity;
    CollectionCell* nextPending;
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
