#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "binding/Base64.h"
#include "binding/EnumDeclaration.h"
#include "binding/NativeAssign.h"
#include "binding/TypeRegistry.h"

namespace Kesh {
namespace {

enum class Small : std::int8_t { Low = -2, One = 1, Three = 3 };
enum class Medium : std::int16_t { Big = 30000 };
enum class Color : std::int32_t { Red = 0, Green = 1, Blue = 3 };
enum class Wide : std::uint64_t { Low = 5, High = 0x100000007ULL };
enum class Other : std::int32_t { Seven = 7, Three = 3 };

class AssignScalarTest : public ::testing::Test {
protected:
    AssignScalarTest() {
        EnumDeclaration<Small>(registry, "Small").Value("Low", Small::Low).Value("One", Small::One).Value("Three", Small::Three);
        EnumDeclaration<Medium>(registry, "Medium").Value("Big", Medium::Big);
        EnumDeclaration<Color>(registry, "Color").Value("Red", Color::Red).Value("Green", Color::Green).Value("Blue", Color::Blue);
        EnumDeclaration<Wide>(registry, "Wide").Value("Low", Wide::Low).Value("High", Wide::High);
        EnumDeclaration<Other>(registry, "Other").Value("Seven", Other::Seven).Value("Three", Other::Three);
    }

    template <typename T>
    std::string Assign(T& out, const BindingProperty& input) {
        ConversionResult result;
        const bool ok = AssignNative(result, out, input, "target", &registry);
        EXPECT_EQ(ok, result.Ok());
        return result.ErrorMessage();
    }

    TypeRegistry registry;
};

TEST_F(AssignScalarTest, BoolFormats) {
    bool value = false;
    EXPECT_EQ(Assign(value, BindingProperty("true")), "");
    EXPECT_TRUE(value);
    EXPECT_EQ(Assign(value, BindingProperty("0")), "");
    EXPECT_FALSE(value);
    EXPECT_EQ(Assign(value, BindingProperty("1")), "");
    EXPECT_TRUE(value);
    EXPECT_EQ(Assign(value, BindingProperty("yes")),
              "Value yes for 'target' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", \"0\".");
    EXPECT_FALSE(value);
    EXPECT_NE(Assign(value, BindingProperty("True")), "");
    EXPECT_NE(Assign(value, BindingProperty(" true")), "");
    EXPECT_EQ(Assign(value, BindingProperty(1)),
              "Couldn't assign value to 'target' of type bool because the input is of an invalid type signed.");
    EXPECT_EQ(Assign(value, BindingProperty(true)), "");
    EXPECT_TRUE(value);

    // Numbers reach the rule of their own width.
    std::int8_t narrow = 0;
    EXPECT_EQ(Assign(narrow, BindingProperty(-128)), "");
    EXPECT_EQ(narrow, -128);
    EXPECT_NE(Assign(narrow, BindingProperty(128)), "");
    float single = 0;
    EXPECT_EQ(Assign(single, BindingProperty(1e39)), "Value 1e+39 for 'target' of type float is out of range");
}

TEST_F(AssignScalarTest, StringsAndEnumNames) {
    std::string text = "old";
    EXPECT_EQ(Assign(text, BindingProperty("")), "");
    EXPECT_EQ(text, "");
    EXPECT_EQ(Assign(text, BindingProperty::FromEnum(3, &StaticTypeOf<Color>())), "");
    EXPECT_EQ(text, "Blue");
    EXPECT_EQ(Assign(text, BindingProperty::FromEnum(2, &StaticTypeOf<Color>())),
              "2 is not a valid enumeration value for 'target'.");
    EXPECT_EQ(text, "");
    EXPECT_EQ(Assign(text, BindingProperty::FromEnum(1, nullptr)), "1 is not a valid enumeration value for 'target'.");
    EXPECT_EQ(Assign(text, BindingProperty(5)), "Couldn't assign value to 'target' because the input is not a string.");
}

TEST_F(AssignScalarTest, BlobsCheckBase64) {
    Blob bytes{9};
    EXPECT_EQ(Assign(bytes, BindingProperty("TWE=")), "");
    EXPECT_EQ(bytes, (Blob{'M', 'a'}));
    EXPECT_EQ(Assign(bytes, BindingProperty("TWFu TWFu")),
              "Couldn't assign string value to 'target' of type blob because the input has invalid base64 characters.");
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(Assign(bytes, BindingProperty(Blob{1, 2, 3})), "");
    EXPECT_EQ(bytes, (Blob{1, 2, 3}));
    EXPECT_EQ(Assign(bytes, BindingProperty(3)),
              "Couldn't assign value to 'target' of type blob because the input is not a blob.");
    EXPECT_TRUE(bytes.empty());
}

TEST_F(AssignScalarTest, EnumsByNameNumberTextAndOtherEnum) {
    Color color = Color::Red;
    EXPECT_EQ(Assign(color, BindingProperty("Blue")), "");
    EXPECT_EQ(color, Color::Blue);
    EXPECT_EQ(Assign(color, BindingProperty("blue")), "blue is not a valid Color enumeration value for 'target'.");
    EXPECT_EQ(color, Color::Red);
    EXPECT_EQ(Assign(color, BindingProperty("3")), "");
    EXPECT_EQ(color, Color::Blue);
    EXPECT_EQ(Assign(color, BindingProperty("0x3")), "");
    EXPECT_EQ(Assign(color, BindingProperty("2")), "2 is not a valid Color enumeration value for 'target'.");
    EXPECT_EQ(Assign(color, BindingProperty("3 ")), "3  is not a valid Color enumeration value for 'target'.");
    EXPECT_EQ(Assign(color, BindingProperty(1)), "");
    EXPECT_EQ(color, Color::Green);
    EXPECT_EQ(Assign(color, BindingProperty(-1)), "-1 is not a valid Color enumeration value for 'target'.");
    // The low 32 bits decide.
    EXPECT_EQ(Assign(color, BindingProperty(std::int64_t{0x100000003LL})), "");
    EXPECT_EQ(color, Color::Blue);
    // An enum value of another type is taken by its number.
    EXPECT_EQ(Assign(color, BindingProperty::FromEnum(3, &StaticTypeOf<Other>())), "");
    EXPECT_EQ(color, Color::Blue);
    EXPECT_EQ(Assign(color, BindingProperty::FromEnum(7, &StaticTypeOf<Other>())),
              "7 is not a valid Color enumeration value for 'target'.");
    EXPECT_EQ(Assign(color, BindingProperty(1.0)),
              "Couldn't assign value to 'target' of enum type because the input is of an invalid type float.");
    // Every scalar rule asks for a value when given Empty.
    bool flag = true;
    std::string text;
    EXPECT_EQ(Assign(color, BindingProperty()), "A value for 'target' is required.");
    EXPECT_EQ(Assign(flag, BindingProperty()), Assign(color, BindingProperty()));
    EXPECT_EQ(Assign(text, BindingProperty()), Assign(color, BindingProperty()));
}

TEST_F(AssignScalarTest, EnumSizes) {
    Small small = Small::One;
    EXPECT_EQ(Assign(small, BindingProperty("Low")), "");
    EXPECT_EQ(small, Small::Low);
    Medium medium{};
    EXPECT_EQ(Assign(medium, BindingProperty(30000)), "");
    EXPECT_EQ(medium, Medium::Big);
    Wide wide{};
    EXPECT_EQ(Assign(wide, BindingProperty("High")), "");
    EXPECT_EQ(wide, static_cast<Wide>(7));  // enumerators keep 32 bits
    EXPECT_EQ(Assign(wide, BindingProperty(5)), "");
    EXPECT_EQ(wide, Wide::Low);
    // A failed assignment leaves zero in all eight bytes.
    wide = static_cast<Wide>(~0ULL);
    EXPECT_NE(Assign(wide, BindingProperty(6)), "");
    EXPECT_EQ(static_cast<std::uint64_t>(wide), 0u);
}

TEST_F(AssignScalarTest, ObjectsCopyAnyKindAndFailedResultsOnlyReset) {
    BindingProperty object("old");
    BindingProperty input;
    input["a"][2] = "x";
    EXPECT_EQ(Assign(object, input), "");
    EXPECT_EQ(object.GetMember("a").GetElement(2).GetStringView(), "x");
    EXPECT_EQ(Assign(object, BindingProperty()), "");
    EXPECT_TRUE(object.IsEmpty());
    // From a value inside the target: the new value is taken before the old one goes.
    object["a"]["b"][1] = "deep text that is not inline";
    object["c"] = 1;
    EXPECT_EQ(Assign(object, object.GetMember("a")), "");
    EXPECT_EQ(object.Size(), 1u);
    EXPECT_EQ(object.GetMember("b").GetElement(1).GetStringView(), "deep text that is not inline");
    EXPECT_FALSE(object.HasMember("c"));

    ConversionResult failed = ConversionResult::Failure("earlier");
    std::string text = "keep?";
    Blob bytes{1};
    bool flag = true;
    Color color = Color::Blue;
    object = "x";
    std::vector<std::int32_t> list{1, 2};
    EXPECT_FALSE(AssignNative(failed, text, BindingProperty("new"), "t", &registry));
    EXPECT_FALSE(AssignNative(failed, bytes, BindingProperty(Blob{2}), "t", &registry));
    EXPECT_FALSE(AssignNative(failed, flag, BindingProperty(true), "t", &registry));
    EXPECT_FALSE(AssignNative(failed, color, BindingProperty(3), "t", &registry));
    EXPECT_FALSE(AssignNative(failed, object, BindingProperty(1), "t", &registry));
    EXPECT_FALSE(AssignNative(failed, list, BindingProperty(1), "t", &registry));
    EXPECT_EQ(text, "");
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(flag);
    EXPECT_EQ(color, Color::Red);
    EXPECT_TRUE(object.IsEmpty());
    EXPECT_TRUE(list.empty());
    EXPECT_STREQ(failed.ErrorMessage(), "earlier");
}

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
