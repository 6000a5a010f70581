#pragma once

#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/PropertyCells.h"

namespace Kesh {

// The members of a Structure: a red-black tree ordered by key, compared byte by byte
// as unsigned characters, so upper-case keys sort before lower-case ones and a key
// before every longer key that begins with it. Nodes are pool cells of the tree's
// context. Members are never removed one by one, only all together.
class MemberTree {
public:
    static int Compare(std::string_view left, std::string_view right) noexcept;

    static MemberNode* Find(const StructureCell& members, std::string_view key) noexcept;
    // The member with that key, added as an Empty member (key interned) when missing.
    static MemberNode& FindOrInsert(StructureCell& members, PropertyContext& context, std::string_view key);
    // Adds a member whose key sorts after every key present; takes over one reference
    // to the key. Copies of a structure insert their members this way, in order.
    static MemberNode& AppendGreatest(StructureCell& members, PropertyContext& context, const InternedString* key);

    static MemberNode* First(const StructureCell& members) noexcept;

    // Takes the tree apart without recursion, handing every node to release (which must
    // free it), and leaves the structure without members.
    template <typename Release>
    static void TakeApart(StructureCell& members, Release&& release) {
        MemberNode* node = members.root;
        members.root = nullptr;
        members.count = 0;
        // Rotating each left child up turns the tree into a list along the right links.
        while (node != nullptr) {
            if (MemberNode* left = node->left; left != nullptr) {
                node->left = left->right;
                left->right = node;
                node = left;
            } else {
                MemberNode* right = node->right;
                release(node);
                node = right;
            }
        }
    }

private:
    static MemberNode& Link(StructureCell& members, PropertyContext& context, MemberNode* parent, bool asLeft,
                            const InternedString* key);
    static void Rebalance(StructureCell& members, MemberNode* node) noexcept;
    static void RotateLeft(StructureCell& members, MemberNode* node) noexcept;
    static void RotateRight(StructureCell& members, MemberNode* node) noexcept;
};

}  // namespace Kesh
