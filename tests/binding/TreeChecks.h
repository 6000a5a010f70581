#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "binding/BindingProperty.h"
#include "binding/InternTable.h"
#include "binding/MemberTree.h"
#include "binding/PropertyCells.h"
#include "binding/PropertyContext.h"

// Checks of a value tree's inner structure, for the binding tests that build, copy and
// drop trees: its member trees against the red-black rules, its texts against its
// context's intern table.
namespace Kesh::Testing {

inline const MemberNode* ParentOf(const MemberNode* node) {
    return reinterpret_cast<const MemberNode*>(node->parentAndColor & ~std::uintptr_t{1});
}
inline bool IsRed(const MemberNode* node) { return node != nullptr && (node->parentAndColor & 1) != 0; }

// The black height of the subtree, or -1 when it breaks a rule: a child's parent link,
// a red node with a red child, unequal black counts.
inline int BlackHeight(const MemberNode* node, const MemberNode* parent, std::size_t& count) {
    if (node == nullptr) return 1;
    ++count;
    if (ParentOf(node) != parent || (IsRed(node) && (IsRed(node->left) || IsRed(node->right)))) return -1;
    const int left = BlackHeight(node->left, node, count);
    const int right = BlackHeight(node->right, node, count);
    if (left < 0 || left != right) return -1;
    return left + (IsRed(node) ? 0 : 1);
}

// Every structure below value: a valid red-black tree with a black root (so balanced,
// whatever order the keys came in), as many nodes as it counts, keys strictly ascending
// in iteration order.
inline void ExpectValidTrees(const BindingProperty& value, const std::string& where = "root") {
    for (const BindingProperty& element : value.Elements()) ExpectValidTrees(element, where + "[]");
    if (value.Kind() != PropertyKind::Structure) return;
    const StructureCell& cell = MemberTree::CellOf(const_cast<BindingProperty&>(value));
    std::size_t count = 0;
    EXPECT_GT(BlackHeight(cell.root, nullptr, count), 0) << where;
    EXPECT_FALSE(IsRed(cell.root)) << where;
    EXPECT_EQ(count, cell.count) << where;
    std::string previous;
    bool first = true;
    for (const MemberNode& member : value.Members()) {
        if (!first) {
            EXPECT_LT(MemberTree::Compare(previous, member.KeyView()), 0) << where << "." << member.Key();
        }
        previous = member.KeyView();
        first = false;
        ExpectValidTrees(member.Value(), where + "." + previous);
    }
}

inline void CountTexts(const BindingProperty& value, std::map<std::string, std::uint32_t>& counts) {
    if (value.Kind() == PropertyKind::String) ++counts[value.GetString()];
    for (const BindingProperty& element : value.Elements()) CountTexts(element, counts);
    for (const MemberNode& member : value.Members()) {
        ++counts[member.Key()];
        CountTexts(member.Value(), counts);
    }
}

// Every key and string of value is the entry of table for its text (not one of another
// context's).
inline void ExpectEntriesOf(const BindingProperty& value, const InternTable& table) {
    if (value.Kind() == PropertyKind::String && value.Size() != 0) {
        EXPECT_EQ(value.GetString(), table.Find(value.GetStringView())->Text()) << value.GetString();
    }
    for (const BindingProperty& element : value.Elements()) ExpectEntriesOf(element, table);
    for (const MemberNode& member : value.Members()) {
        if (!member.KeyView().empty()) {
            EXPECT_EQ(member.Key(), table.Find(member.KeyView())->Text()) << member.Key();
        }
        ExpectEntriesOf(member.Value(), table);
    }
}

// The root's table holds exactly the texts of its tree, each counted once per use.
inline void ExpectCounts(const BindingProperty& root) {
    std::map<std::string, std::uint32_t> counts;
    CountTexts(root, counts);
    counts.erase("");
    const InternTable& table = root.Context()->Strings();
    EXPECT_EQ(table.Size(), counts.size());
    for (const auto& [text, count] : counts) {
        const InternedString* entry = table.Find(text);
        ASSERT_NE(entry, nullptr) << text;
        EXPECT_EQ(entry->ReferenceCount(), count) << text;
    }
    ExpectEntriesOf(root, table);
}

}  // namespace Kesh::Testing
