#include <gtest/gtest.h>

#include <string_view>

#include "binding/InternTable.h"
#include "binding/PropertyContext.h"

namespace Kesh {
namespace {

using namespace std::string_literals;

// The one-pass cut and hash must give what cutting and then hashing gives: the FNV-1a
// test vectors, and texts with a NUL inside, at their start or at their end.
TEST(HashUpToNul, CutsAtTheFirstNulAndHashesWhatIsLeft) {
    struct Case {
        std::string_view text;
        std::string_view cut;
        std::uint32_t hash;
    };
    const std::string withNul = "foobar\0tail"s;
    const std::string leadingNul = "\0foobar"s;
    const std::string trailingNul = "a\0"s;
    const Case cases[] = {
        {"", "", 0x811c9dc5u},
        {"a", "a", 0xe40c292cu},
        {"foobar", "foobar", 0xbf9cf968u},
        {withNul, "foobar", 0xbf9cf968u},
        {leadingNul, "", 0x811c9dc5u},
        {trailingNul, "a", 0xe40c292cu},
    };
    for (const Case& c : cases) {
        const HashedText hashed = HashUpToNul(c.text);
        EXPECT_EQ(hashed.text, c.cut) << c.cut;
        EXPECT_EQ(hashed.hash, c.hash) << c.cut;
    }

    // Interning by either route finds the one entry.
    PropertyContext context;
    const InternedString* entry = context.Strings().Intern(withNul);
    EXPECT_EQ(entry->View(), "foobar");
    EXPECT_EQ(entry->hash, 0xbf9cf968u);
    EXPECT_EQ(context.Strings().Intern("foobar"), entry);
    EXPECT_EQ(context.Strings().Find(withNul), entry);
    EXPECT_EQ(entry->ReferenceCount(), 2u);
    context.Strings().Release(entry);
    context.Strings().Release(entry);
    EXPECT_EQ(context.Strings().Size(), 0u);
}

}  // namespace
}  // namespace Kesh
