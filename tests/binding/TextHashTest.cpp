#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "binding/InternTable.h"
#include "binding/InternedString.h"

namespace Kesh {
namespace {

// FNV-1a as defined, one byte at a time, stopping at the first NUL.
HashedText Reference(std::string_view text) {
    std::uint32_t hash = 0x811c9dc5u;
    std::size_t length = 0;
    for (; length < text.size() && text[length] != '\0'; ++length) {
        hash ^= static_cast<unsigned char>(text[length]);
        hash *= 16777619u;
    }
    return {text.substr(0, length), hash};
}

// The word-at-a-time loop against the definition: every length around the 8-byte steps,
// a NUL at every position (and none), bytes with the high bit set (where a signed char
// would go wrong) and bytes 0x01 and 0x80, which a faulty zero-byte test mistakes for 0.
TEST(TextHash, WordLoopAgreesWithTheByteLoop) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(1, 255);
    const char fillers[] = {'\x01', '\x80', '\xff', 'a'};
    for (std::size_t length = 0; length <= 40; ++length) {
        for (char filler : fillers) {
            std::string text(length, filler);
            for (char& c : text) {
                if (random() % 2 == 0) c = static_cast<char>(byte(random));
            }
            for (std::size_t nul = 0; nul <= length; ++nul) {
                std::string cut = text;
                if (nul < length) cut[nul] = '\0';
                const HashedText expected = Reference(cut);
                const HashedText hashed = HashUpToNul(cut);
                ASSERT_EQ(hashed.text.size(), expected.text.size()) << "length " << length << " nul " << nul;
                ASSERT_EQ(hashed.text.data(), cut.data());
                ASSERT_EQ(hashed.hash, expected.hash) << "length " << length << " nul " << nul;
                ASSERT_EQ(InternedString::Hash(expected.text.data(), expected.text.size()), expected.hash);
            }
        }
    }
    // Known vectors, and a compile-time hash agrees with the run-time one.
    static_assert(HashUpToNul("foobar").hash == 0xbf9cf968u);
    EXPECT_EQ(HashUpToNul(std::string("a long text of more than eight bytes")).hash,
              Reference("a long text of more than eight bytes").hash);
}

}  // namespace
}  // namespace Kesh
