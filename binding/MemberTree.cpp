#include "binding/MemberTree.h"

#include <cstring>
#include <new>

#include "binding/PropertyContext.h"

namespace Kesh {

namespace {

constexpr std::uintptr_t kRed = 1;

MemberNode* ParentOf(const MemberNode* node) noexcept {
    return reinterpret_cast<MemberNode*>(node->parentAndColor & ~kRed);
}

bool IsRed(const MemberNode* node) noexcept { return node != nullptr && (node->parentAndColor & kRed) != 0; }

void SetParent(MemberNode* node, MemberNode* parent) noexcept {
    node->parentAndColor = reinterpret_cast<std::uintptr_t>(parent) | (node->parentAndColor & kRed);
}

void SetRed(MemberNode* node, bool red) noexcept {
    node->parentAndColor = (node->parentAndColor & ~kRed) | (red ? kRed : 0);
}

}  // namespace

static_assert(alignof(MemberNode) >= 2, "the colour bit lives in the parent address");

int MemberTree::Compare(std::string_view left, std::string_view right) noexcept {
    const std::size_t common = left.size() < right.size() ? left.size() : right.size();
    if (common != 0) {
        if (const int order = std::memcmp(left.data(), right.data(), common); order != 0) return order;
    }
    if (left.size() == right.size()) return 0;
    return left.size() < right.size() ? -1 : 1;
}

MemberNode* MemberTree::Find(const StructureCell& members, std::string_view key) noexcept {
    key = UpToNul(key);
    MemberNode* node = members.root;
    while (node != nullptr) {
        const int order = Compare(key, node->KeyView());
        if (order == 0) return node;
        node = order < 0 ? node->left : node->right;
    }
    return nullptr;
}

MemberNode* MemberTree::First(const StructureCell& members) noexcept {
    MemberNode* node = members.root;
    if (node == nullptr) return nullptr;
    while (node->left != nullptr) node = node->left;
    return node;
}

const MemberNode* NextMember(const MemberNode* node) noexcept {
    return node == nullptr ? nullptr : MemberTree::NextInOrder(node);
}

MemberNode& MemberTree::FindOrInsert(StructureCell& members, PropertyContext& context, std::string_view key) {
    const HashedText hashed = HashUpToNul(key);  // cut as the interned key will be
    key = hashed.text;
    MemberNode* parent = nullptr;
    bool asLeft = false;
    for (MemberNode* node = members.root; node != nullptr;) {
        const int order = Compare(key, node->KeyView());
        if (order == 0) return *node;
        parent = node;
        asLeft = order < 0;
        node = asLeft ? node->left : node->right;
    }
    const InternedString* entry = context.Strings().Intern(hashed);
    try {
        return Link(members, context, parent, asLeft, entry);
    } catch (...) {
        context.Strings().Release(entry);
        throw;
    }
}


namespace {

MemberNode* LinkChild(MemberNode* const* nodes, std::size_t first, std::size_t last, MemberNode* parent,
                      unsigned depth, unsigned redDepth) noexcept;

// The middle node of nodes[first, last) (not empty) becomes the subtree's root; nodes at
// redDepth (the last level, where it is not full) are red, all others black, so every
// path has the same number of black nodes. The depth is at most 33, so the recursion is
// bounded.
MemberNode* LinkRange(MemberNode* const* nodes, std::size_t first, std::size_t last, MemberNode* parent,
                      unsigned depth, unsigned redDepth) noexcept {
    const std::size_t middle = first + (last - first) / 2;
    MemberNode* node = nodes[middle];
    node->parentAndColor = reinterpret_cast<std::uintptr_t>(parent) | (depth == redDepth ? kRed : 0);
    node->left = middle > first ? LinkChild(nodes, first, middle, node, depth + 1, redDepth) : nullptr;
    node->right = middle + 1 < last ? LinkChild(nodes, middle + 1, last, node, depth + 1, redDepth) : nullptr;
    return node;
}

// LinkRange for a range that is not empty; a single node (half of all nodes are leaves)
// is linked here without a call.
inline MemberNode* LinkChild(MemberNode* const* nodes, std::size_t first, std::size_t last, MemberNode* parent,
                             unsigned depth, unsigned redDepth) noexcept {
    if (last - first != 1) return LinkRange(nodes, first, last, parent, depth, redDepth);
    MemberNode* node = nodes[first];
    node->parentAndColor = reinterpret_cast<std::uintptr_t>(parent) | (depth == redDepth ? kRed : 0);
    node->left = nullptr;
    node->right = nullptr;
    return node;
}

// Splitting at the middle fills every level but the last: the full levels number
// floor(log2(count + 1)), and the nodes below them are the red ones.
constexpr unsigned FullLevels(std::size_t count) noexcept {
    unsigned fullLevels = 0;
    while ((std::size_t{2} << fullLevels) - 1 <= count) ++fullLevels;
    return fullLevels;
}

// Most structures of a body have a few members. For those the shape LinkRange gives is
// worked out at compile time, by the same split, and the nodes are linked from a table
// without recursion: each node's left child, right child and parent as an index plus one
// (0 for none), and its colour.
constexpr std::size_t kSmallLink = 8;

struct SmallShape {
    std::uint8_t left;
    std::uint8_t right;
    std::uint8_t parent;
    bool red;
};

struct SmallShapes {
    SmallShape nodes[kSmallLink + 1][kSmallLink];
    std::uint8_t root[kSmallLink + 1];
};

constexpr std::uint8_t ShapeRange(SmallShape* shape, std::size_t first, std::size_t last, std::uint8_t parent,
                                  unsigned depth, unsigned redDepth) noexcept {
    const std::size_t middle = first + (last - first) / 2;
    const auto self = static_cast<std::uint8_t>(middle + 1);
    shape[middle].parent = parent;
    shape[middle].red = depth == redDepth;
    shape[middle].left = middle > first ? ShapeRange(shape, first, middle, self, depth + 1, redDepth) : 0;
    shape[middle].right = middle + 1 < last ? ShapeRange(shape, middle + 1, last, self, depth + 1, redDepth) : 0;
    return self;
}

constexpr SmallShapes MakeSmallShapes() noexcept {
    SmallShapes shapes{};
    for (std::size_t count = 1; count <= kSmallLink; ++count) {
        shapes.root[count] = ShapeRange(shapes.nodes[count], 0, count, 0, 0, FullLevels(count));
    }
    return shapes;
}

constexpr SmallShapes kSmallShapes = MakeSmallShapes();

}  // namespace

void MemberTree::LinkSorted(StructureCell& members, MemberNode* const* nodes, std::size_t count) noexcept {
    members.count = static_cast<std::uint32_t>(count);
    if (count == 0) {
        members.root = nullptr;
    } else if (count <= kSmallLink) {
        const SmallShape* shape = kSmallShapes.nodes[count];
        // The nodes by index plus one, with null at 0, so that each link is one load.
        MemberNode* at[kSmallLink + 1];
        at[0] = nullptr;
        for (std::size_t i = 0; i < count; ++i) at[i + 1] = nodes[i];
        for (std::size_t i = 0; i < count; ++i) {
            MemberNode* node = at[i + 1];
            node->left = at[shape[i].left];
            node->right = at[shape[i].right];
            node->parentAndColor = reinterpret_cast<std::uintptr_t>(at[shape[i].parent]) | (shape[i].red ? kRed : 0);
        }
        members.root = at[kSmallShapes.root[count]];
    } else {
        members.root = LinkRange(nodes, 0, count, nullptr, 0, FullLevels(count));
    }
}

MemberNode& MemberTree::FindOrInsert(StructureCell& members, PropertyContext& context, const InternedString* key) {
    const std::string_view text = key->View();
    MemberNode* parent = nullptr;
    bool asLeft = false;
    for (MemberNode* node = members.root; node != nullptr;) {
        if (node->key == key) {
            context.Strings().Release(key);
            return *node;
        }
        const int order = Compare(text, node->KeyView());
        parent = node;
        asLeft = order < 0;
        node = asLeft ? node->left : node->right;
    }
    try {
        return Link(members, context, parent, asLeft, key);
    } catch (...) {
        context.Strings().Release(key);
        throw;
    }
}

MemberNode& MemberTree::AppendGreatest(StructureCell& members, PropertyContext& context, const InternedString* key) {
    MemberNode* parent = members.root;
    if (parent != nullptr) {
        while (parent->right != nullptr) parent = parent->right;
    }
    return Link(members, context, parent, false, key);
}

MemberNode& MemberTree::Link(StructureCell& members, PropertyContext& context, MemberNode* parent, bool asLeft,
                             const InternedString* key) {
    void* cell = context.AllocateCell(sizeof(MemberNode));
    auto* node = new (cell)
        MemberNode{nullptr, nullptr, reinterpret_cast<std::uintptr_t>(parent) | kRed, key, BindingProperty(&context)};
    if (parent == nullptr) {
        members.root = node;
    } else if (asLeft) {
        parent->left = node;
    } else {
        parent->right = node;
    }
    ++members.count;
    Rebalance(members, node);
    return *node;
}

void MemberTree::RotateLeft(StructureCell& members, MemberNode* node) noexcept {
    MemberNode* right = node->right;
    MemberNode* parent = ParentOf(node);
    node->right = right->left;
    if (right->left != nullptr) SetParent(right->left, node);
    SetParent(right, parent);
    if (parent == nullptr) {
        members.root = right;
    } else if (parent->left == node) {
        parent->left = right;
    } else {
        parent->right = right;
    }
    right->left = node;
    SetParent(node, right);
}

void MemberTree::RotateRight(StructureCell& members, MemberNode* node) noexcept {
    MemberNode* left = node->left;
    MemberNode* parent = ParentOf(node);
    node->left = left->right;
    if (left->right != nullptr) SetParent(left->right, node);
    SetParent(left, parent);
    if (parent == nullptr) {
        members.root = left;
    } else if (parent->right == node) {
        parent->right = left;
    } else {
        parent->left = left;
    }
    left->right = node;
    SetParent(node, left);
}

void MemberTree::Rebalance(StructureCell& members, MemberNode* node) noexcept {
    while (IsRed(ParentOf(node))) {
        MemberNode* parent = ParentOf(node);
        MemberNode* grandparent = ParentOf(parent);  // exists: a red node is never the root
        if (parent == grandparent->left) {
            MemberNode* uncle = grandparent->right;
            if (IsRed(uncle)) {
                SetRed(parent, false);
                SetRed(uncle, false);
                SetRed(grandparent, true);
                node = grandparent;
                continue;
            }
            if (node == parent->right) {
                RotateLeft(members, parent);
                node = parent;
                parent = ParentOf(node);
            }
            SetRed(parent, false);
            SetRed(grandparent, true);
            RotateRight(members, grandparent);
        } else {
            MemberNode* uncle = grandparent->left;
            if (IsRed(uncle)) {
                SetRed(parent, false);
                SetRed(uncle, false);
                SetRed(grandparent, true);
                node = grandparent;
                continue;
            }
            if (node == parent->left) {
                RotateRight(members, parent);
                node = parent;
                parent = ParentOf(node);
            }
            SetRed(parent, false);
            SetRed(grandparent, true);
            RotateLeft(members, grandparent);
        }
    }
    SetRed(members.root, false);
}

}  // namespace Kesh
