// Scalars that take their own way through the YAML reader (a hexadecimal integer, a
// "!!str" tag) must come out exact and leave their neighbours in place.
#include <gtest/gtest.h>

#include <string_view>

#include "formats/YamlReader.h"

namespace Kesh {
namespace {

BindingProperty Read(std::string_view text) {
    ConversionResult result = ReadYaml(text);
    EXPECT_TRUE(result.Ok()) << text << ": " << result.ErrorMessage();
    return result.Value();
}

TEST(YamlScalarSiblings, HexadecimalIntegersKeepEveryDigit) {
    // 2^53 + 1: through a double it would lose its last bit.
    const BindingProperty value = Read("[0x20000000000001, 0X1f, -0x10, 1x5]");
    EXPECT_EQ(value.GetElement(0).Kind(), PropertyKind::Unsigned);
    EXPECT_EQ(value.GetElement(0).GetUnsigned(), 9007199254740993u);
    EXPECT_EQ(value.GetElement(1).Kind(), PropertyKind::Unsigned);
    EXPECT_EQ(value.GetElement(1).GetUnsigned(), 31u);
    EXPECT_EQ(value.GetElement(2).GetSigned(), -16);
    EXPECT_EQ(value.GetElement(3).GetStringView(), "1x5");
}

TEST(YamlScalarSiblings, StringTaggedScalarsLeaveTheirNeighboursAlone) {
    const BindingProperty value = Read("[!!str 5, 6, !!str &s 7, *s]");
    ASSERT_EQ(value.Size(), 4u);
    EXPECT_EQ(value.GetElement(0).GetStringView(), "5");
    EXPECT_EQ(value.GetElement(1).GetUnsigned(), 6u);
    EXPECT_EQ(value.GetElement(2).GetStringView(), "7");
    EXPECT_EQ(value.GetElement(3).GetStringView(), "7");
    const BindingProperty map = Read("a: !!str 1\nb: 2\n");
    EXPECT_EQ(map.GetMember("a").GetStringView(), "1");
    EXPECT_EQ(map.GetMember("b").GetUnsigned(), 2u);
}

}  // namespace
}  // namespace Kesh
