#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>

#include "binding/BindingProperty.h"
#include "binding/InternTable.h"
#include "binding/MemberTree.h"
#include "binding/PropertyContext.h"

// Checks of a value tree's texts against its context's intern table, for the binding
// tests that build, copy and drop trees.
namespace Kesh::Testing {

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
