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

    // For readers that collect a structure's members and link them once at its end.
    // The members of a Structure value.
    static StructureCell& CellOf(BindingProperty& structure) noexcept;
    // A node holding key (whose reference it takes over) and an Empty value, not yet
    // in any tree; on failure the key's reference is dropped.
    static MemberNode* NewNode(PropertyContext& context, const InternedString* key);
    // Makes an empty structure's tree of count nodes whose keys ascend strictly: a
    // balanced tree, coloured so that it is a valid red-black tree, in one pass.
    static void LinkSorted(StructureCell& members, MemberNode* const* nodes, std::size_t count) noexcept;
    // The member under key, an interned entry of the structure's context whose reference
    // the call takes over (it is dropped when the member exists already).
    static MemberNode& FindOrInsert(StructureCell& members, PropertyContext& context, const InternedString* key);

    // Gives an empty structure the shape of from: every node cloned with its colour and
    // place, so nothing is compared or rebalanced. clone(source) returns the new node's
    // key (with a reference taken over); fill(source, node) is then called with the node
    // linked and its value Empty. Walks by the parent links, without recursion; when a
    // callback throws, the nodes linked so far form a tree TakeApart can release.
    template <typename CloneKey, typename Fill>
    static void CloneShape(const StructureCell& from, StructureCell& to, PropertyContext& context,
                           CloneKey&& cloneKey, Fill&& fill) {
        const MemberNode* source = from.root;
        if (source == nullptr) return;
        MemberNode* target = CloneNode(to, context, source, nullptr, cloneKey(source));
        to.root = target;
        fill(*source, *target);
        for (;;) {
            if (source->left != nullptr && target->left == nullptr) {
                source = source->left;
                target->left = CloneNode(to, context, source, target, cloneKey(source));
                target = target->left;
            } else if (source->right != nullptr && target->right == nullptr) {
                source = source->right;
                target->right = CloneNode(to, context, source, target, cloneKey(source));
                target = target->right;
            } else {
                if (source == from.root) return;
                source = reinterpret_cast<const MemberNode*>(source->parentAndColor & ~std::uintptr_t{1});
                target = reinterpret_cast<MemberNode*>(target->parentAndColor & ~std::uintptr_t{1});
                continue;
            }
            fill(*source, *target);
        }
    }

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
    // A node like source (its colour), under parent, holding key; on failure the key's
    // reference is dropped.
    static MemberNode* CloneNode(StructureCell& members, PropertyContext& context, const MemberNode* source,
                                 MemberNode* parent, const InternedString* key);
    static MemberNode& Link(StructureCell& members, PropertyContext& context, MemberNode* parent, bool asLeft,
                            const InternedString* key);
    static void Rebalance(StructureCell& members, MemberNode* node) noexcept;
    static void RotateLeft(StructureCell& members, MemberNode* node) noexcept;
    static void RotateRight(StructureCell& members, MemberNode* node) noexcept;
};

}  // namespace Kesh
