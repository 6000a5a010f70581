#include <gtest/gtest.h>

#include <string>

#include "binding/Base64.h"

namespace Kesh {
namespace {

std::string Decoded(std::string_view text) {
    const std::vector<std::uint8_t> bytes = DecodeBase64(text);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Base64, GroupsAndPartialGroups) {
    EXPECT_EQ(Decoded("TWFu"), "Man");
    EXPECT_EQ(Decoded("TWE="), "Ma");
    EXPECT_EQ(Decoded("TQ=="), "M");
    EXPECT_EQ(Decoded("TQ"), "M");
    EXPECT_EQ(Decoded("TWE"), "Ma");
    EXPECT_EQ(Decoded("T"), "");
    EXPECT_EQ(Decoded(""), "");
    EXPECT_EQ(Decoded("TWFuTWFu"), "ManMan");
    // Every byte value survives, including the high ones and "+" and "/".
    EXPECT_EQ(DecodeBase64("AP8+/w=="), (std::vector<std::uint8_t>{0x00, 0xFF, 0x3E, 0xFF}));
    EXPECT_EQ(DecodeBase64(nullptr, 4), std::vector<std::uint8_t>{});
}

TEST(Base64, StopsAtTheFirstForeignCharacter) {
    EXPECT_EQ(Decoded("TWFu TWFu"), "Man");
    EXPECT_EQ(Decoded("TWFu=TWFu"), "Man");
    EXPECT_EQ(Decoded("TW-u"), "M");
    EXPECT_EQ(Decoded(std::string_view("TWFu\0TWFu", 9)), "Man");
    EXPECT_EQ(Decoded("TWFu\xc3\xa9TWFu"), "Man");
    // The length bounds the read even without a terminator.
    const char unterminated[4] = {'T', 'W', 'F', 'u'};
    EXPECT_EQ(DecodeBase64(unterminated, 2), (std::vector<std::uint8_t>{'M'}));
}

}  // namespace
}  // namespace Kesh
