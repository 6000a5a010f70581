#pragma once

#include <cstdint>
#include <new>
#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/PropertyCells.h"
#include "binding/PropertyContext.h"

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
    // The member after node (not null) in key order, or null: inline, for readers that
    // follow an earlier structure's keys one by one and take this step for every key. A
    // node's parent is its parentAndColor without the colour bit.
    static const MemberNode* NextInOrder(const MemberNode* node) noexcept {
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

    // For readers that collect a structure's members and link them once at its end.
    // The members of a Structure value.
    static StructureCell& CellOf(BindingProperty& structure) noexcept { return *structure.payload_.structure; }
    // A node holding key (whose reference it takes over) and an Empty value, not yet
    // in any tree; on failure the key's reference is dropped.
    static MemberNode* NewNode(PropertyContext& context, const InternedString* key) {
        void* cell = nullptr;
        try {
            cell = context.AllocateCell(sizeof(MemberNode));
        } catch (...) {
            context.Strings().Release(key);
            throw;
        }
        return new (cell) MemberNode{nullptr, nullptr, 0, key, BindingProperty(&context)};
    }
    // Makes an empty structure's tree of count nodes whose keys ascend strictly: a
    // balanced tree, coloured so that it is a valid red-black tree, in one pass.
    static void LinkSorted(StructureCell& members, MemberNode* const* nodes, std::size_t count) noexcept;
    // The member under key, an interned entry of the structure's context whose reference
    // the call takes over (it is dropped when the member exists already).
    static MemberNode& FindOrInsert(StructureCell& members, PropertyContext& context, const InternedString* key);

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
