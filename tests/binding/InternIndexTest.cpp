#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/InternTable.h"
#include "binding/PropertyContext.h"
#include "binding/TreeBuilding.h"

namespace Kesh {
namespace {

std::uint32_t Fnv1a(std::string_view text) { return InternedString::Hash(text.data(), text.size()); }

// Texts of many lengths around the eight-byte steps and the long-text groups of four,
// some non-ASCII, each distinct.
std::vector<std::string> DistinctTexts(std::size_t count) {
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < count; ++i) {
        std::string text = std::to_string(i) + ":";
        const std::size_t length = (i * 13) % 90;
        for (std::size_t j = 0; j < length; ++j) text += static_cast<char>(j % 3 == 0 ? '\xc3' : 'a' + (i + j) % 26);
        texts.push_back(text);
    }
    return texts;
}

// Every entry made while an index is attached ends with its FNV-1a hash and in the bucket
// that hash names, however the texts came (new, repeated, cut at a NUL, released to
// nothing and made again), and the counts are exact before and after the index goes.
TEST(InternIndex, EntriesMadeThroughTheIndexEndHashedAndCounted) {
    for (const std::size_t count : {1u, 3u, 4u, 5u, 9u, 200u}) {
        SCOPED_TRACE(count);
        PropertyContext context;
        InternTable& strings = context.Strings();
        const std::vector<std::string> texts = DistinctTexts(count);
        std::vector<const InternedString*> entries;
        std::vector<std::uint32_t> references(count, 1);
        {
            InternIndex index;
            index.Attach(strings);
            for (const std::string& text : texts) entries.push_back(strings.Intern(text));
            for (std::size_t i = 0; i < count; i += 2, ++references[i - 2]) EXPECT_EQ(strings.Intern(texts[i]), entries[i]);
            // A text with a NUL inside meets the entry of its beginning.
            const std::string cut = texts[0] + std::string(1, '\0') + "tail";
            EXPECT_EQ(strings.Intern(cut), entries[0]);
            ++references[0];
            // The last reference of a text goes, and the text comes back as new.
            const std::size_t last = count - 1;
            while (references[last] != 0) {
                strings.Release(entries[last]);
                --references[last];
            }
            EXPECT_EQ(strings.Find(texts[last]), nullptr);
            EXPECT_EQ(strings.Size(), count - 1);
            entries[last] = strings.Intern(texts[last]);
            references[last] = 1;
            EXPECT_EQ(strings.Size(), count);
            // A lookup while attached already sees the right entry.
            EXPECT_EQ(strings.Find(texts[count / 2]), entries[count / 2]);
        }
        EXPECT_EQ(strings.Size(), count);
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(entries[i]->hash, Fnv1a(texts[i])) << texts[i];
            EXPECT_EQ(strings.Find(texts[i]), entries[i]) << texts[i];
            EXPECT_EQ(entries[i]->ReferenceCount(), references[i]) << texts[i];
        }
    }
}

// An index attached to a table that already holds texts does not take a text it has not
// seen for a new one.
TEST(InternIndex, TextsAlreadyInTheTableAreFoundAgain) {
    PropertyContext context;
    InternTable& strings = context.Strings();
    const std::vector<std::string> texts = DistinctTexts(40);
    std::vector<const InternedString*> entries;
    for (const std::string& text : texts) entries.push_back(strings.Intern(text));
    InternIndex index;
    index.Attach(strings);
    for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(strings.Intern(texts[i]), entries[i]);
    const InternedString* added = strings.Intern("new text");
    EXPECT_EQ(strings.Find("new text"), added);
    EXPECT_EQ(strings.Size(), texts.size() + 1);
}

// A copy of a tree still being built, out of its context into another, finds every text's
// hash computed: the copy's table holds them where a lookup looks.
TEST(InternIndex, CopyOfATreeStillBeingBuiltHashesItsTexts) {
    BindingProperty tree;
    tree.MakeCollection();
    TreeBuilding::Append(tree);  // the tree's context exists from here on
    InternIndex index;
    index.Attach(tree.Context()->Strings());
    const std::vector<std::string> texts = DistinctTexts(30);
    for (const std::string& text : texts) TreeBuilding::SetString(TreeBuilding::Append(tree), text);
    const BindingProperty copy(tree);
    ASSERT_NE(copy.Context(), tree.Context());
    for (const std::string& text : texts) {
        const InternedString* entry = copy.Context()->Strings().Find(text);
        ASSERT_NE(entry, nullptr) << text;
        EXPECT_EQ(entry->hash, Fnv1a(text));
    }
    index.Detach();
    for (const std::string& text : texts) EXPECT_NE(tree.Context()->Strings().Find(text), nullptr) << text;
}

}  // namespace
}  // namespace Kesh
