#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/InternedString.h"

namespace Kesh {

// Where a value read before shows what comes next: bodies repeat one shape of structure
// element after element, so each structure, array and text is first compared with the
// one in the same place of the element before (or of that element's own guide). A key
// that matches its guide's is taken over without hashing or searching; it is new to its
// structure and sorts after its keys so far, since those matched the guide's keys before
// it, one for one. A text that matches its guide's takes the same entry.

// The member after node in key order, or null: NextMember, inline, since a guided key
// takes this step every time. A node's parent is its parentAndColor without the colour
// bit.
inline const MemberNode* NextGuide(const MemberNode* node) noexcept {
    if (node->right != nullptr) {
        node = node->right;
        while (node->left != nullptr) node = node->left;
        return node;
    }
    const auto parentOf = [](const MemberNode* child) {
        return reinterpret_cast<const MemberNode*>(child->parentAndColor & ~std::uintptr_t{1});
    };
    const MemberNode* parent = parentOf(node);
    while (parent != nullptr && node == parent->right) {
        node = parent;
        parent = parentOf(parent);
    }
    return parent;
}

}  // namespace Kesh
