#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/InternedString.h"

namespace Kesh {

// Whether an interned entry holds exactly text: the length first, then the bytes, texts
// of up to 32 bytes by a few overlapping word loads (never outside either text) instead
// of a call.
[[gnu::always_inline]] inline bool SameText(const InternedString& entry, std::string_view text) noexcept {
    const std::size_t length = text.size();
    if (entry.length != length) return false;
    const char* left = entry.Text();
    const char* right = text.data();
    const auto load8 = [](const char* bytes) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        return word;
    };
    const auto load4 = [](const char* bytes) {
        std::uint32_t word;
        std::memcpy(&word, bytes, 4);
        return word;
    };
    if (length > 32) return std::memcmp(left, right, length) == 0;
    if (length > 16) {
        return ((load8(left) ^ load8(right)) | (load8(left + 8) ^ load8(right + 8)) |
                (load8(left + length - 16) ^ load8(right + length - 16)) |
                (load8(left + length - 8) ^ load8(right + length - 8))) == 0;
    }
    if (length >= 8) {
        return ((load8(left) ^ load8(right)) | (load8(left + length - 8) ^ load8(right + length - 8))) == 0;
    }
    if (length >= 4) {
        return ((load4(left) ^ load4(right)) | (load4(left + length - 4) ^ load4(right + length - 4))) == 0;
    }
    // One to three bytes: the first, the middle and the last cover them all.
    return length == 0 ||
           (left[0] == right[0] && left[length / 2] == right[length / 2] && left[length - 1] == right[length - 1]);
}

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
