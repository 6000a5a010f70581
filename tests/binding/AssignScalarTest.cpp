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

    // Assigns input to a target that holds `before`, and checks the message ("" for
    // success) and what the target holds afterwards.
    template <typename T>
    void Expect(T before, const BindingProperty& input, T after, const std::string& message = "") {
        T out = before;
        EXPECT_EQ(Assign(out, input), message);
        EXPECT_EQ(out, after) << message;
    }

    TypeRegistry registry;
};

TEST_F(AssignScalarTest, BoolsAndNumbersOfEachWidth) {
    const std::string options = "is in an incorrect format. Options are \"true\", \"false\", \"1\", \"0\".";
    Expect(false, BindingProperty("true"), true);
    Expect(true, BindingProperty("0"), false);
    Expect(false, BindingProperty("1"), true);
    Expect(false, BindingProperty(true), true);
    Expect(true, BindingProperty("yes"), false, "Value yes for 'target' of type bool " + options);
    Expect(true, BindingProperty("True"), false, "Value True for 'target' of type bool " + options);
    Expect(true, BindingProperty(" true"), false, "Value  true for 'target' of type bool " + options);
    Expect(true, BindingProperty(1), false,
           "Couldn't assign value to 'target' of type bool because the input is of an invalid type signed.");
    // Numbers reach the rule of their own width.
    Expect<std::int8_t>(0, BindingProperty(-128), -128);
    Expect<std::int8_t>(5, BindingProperty(128), 0, "Value 128 for 'target' of type int8 is out of range");
    Expect<float>(5, BindingProperty(1e39), 0, "Value 1e+39 for 'target' of type float is out of range");
}

TEST_F(AssignScalarTest, StringsAndEnumNames) {
    Expect<std::string>("old", BindingProperty(""), "");
    Expect<std::string>("old", BindingProperty::FromEnum(3, &StaticTypeOf<Color>()), "Blue");
    Expect<std::string>("old", BindingProperty::FromEnum(2, &StaticTypeOf<Color>()), "",
                        "2 is not a valid enumeration value for 'target'.");
    Expect<std::string>("old", BindingProperty::FromEnum(1, nullptr), "", "1 is not a valid enumeration value for 'target'.");
    Expect<std::string>("old", BindingProperty(5), "", "Couldn't assign value to 'target' because the input is not a string.");
}

TEST_F(AssignScalarTest, BlobsCheckBase64) {
    Expect(Blob{9}, BindingProperty("TWE="), Blob{'M', 'a'});
    Expect(Blob{9}, BindingProperty("AZaz09+/"), Blob{1, 150, 179, 211, 223, 191});  // the alphabet's ends
    Expect(Blob{9}, BindingProperty(Blob{1, 2, 3}), Blob{1, 2, 3});
    Expect(Blob{9}, BindingProperty("TWFu TWFu"), Blob{},
           "Couldn't assign string value to 'target' of type blob because the input has invalid base64 characters.");
    Expect(Blob{9}, BindingProperty(3), Blob{},
           "Couldn't assign value to 'target' of type blob because the input is not a blob.");
}

TEST_F(AssignScalarTest, EnumsByNameNumberTextAndOtherEnum) {
    const auto invalid = [](const char* text) { return std::string(text) + " is not a valid Color enumeration value for 'target'."; };
    const struct {
        BindingProperty input;
        Color after;  // from Green
        std::string message;
    } cases[] = {
        {"Blue", Color::Blue, ""},
        {"blue", Color::Red, invalid("blue")},
        {"3", Color::Blue, ""},
        {"0x3", Color::Blue, ""},
        {"2", Color::Red, invalid("2")},
        {"3 ", Color::Red, invalid("3 ")},
        {1, Color::Green, ""},
        {-1, Color::Red, invalid("-1")},
        {std::int64_t{0x100000003LL}, Color::Blue, ""},  // the low 32 bits decide
        // An enum value of another type is taken by its number.
        {BindingProperty::FromEnum(3, &StaticTypeOf<Other>()), Color::Blue, ""},
        {BindingProperty::FromEnum(7, &StaticTypeOf<Other>()), Color::Red, invalid("7")},
        {1.0, Color::Red, "Couldn't assign value to 'target' of enum type because the input is of an invalid type float."},
    };
    for (const auto& c : cases) Expect(Color::Green, c.input, c.after, c.message);
    // Every scalar rule asks for a value when given Empty.
    const std::string required = "A value for 'target' is required.";
    Expect(Color::Green, BindingProperty(), Color::Red, required);
    Expect(true, BindingProperty(), false, required);
    Expect<std::string>("old", BindingProperty(), "", required);
}

TEST_F(AssignScalarTest, EnumSizes) {
    Expect(Small::One, BindingProperty("Low"), Small::Low);
    Expect(Medium{}, BindingProperty(30000), Medium::Big);
    Expect(Wide{}, BindingProperty("High"), static_cast<Wide>(7));  // enumerators keep 32 bits
    Expect(Wide{}, BindingProperty(5), Wide::Low);
    // A failed assignment leaves zero in all eight bytes.
    Expect(static_cast<Wide>(~0ULL), BindingProperty(6), Wide{}, "6 is not a valid Wide enumeration value for 'target'.");
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

TEST(Base64, GroupsPartialGroupsAndTheFirstForeignCharacter) {
    const struct {
        std::string_view text;
        const char* decoded;
    } cases[] = {
        {"TWFu", "Man"}, {"TWE=", "Ma"}, {"TQ==", "M"}, {"TQ", "M"}, {"TWE", "Ma"}, {"T", ""}, {"", ""},
        {"TWFuTWFu", "ManMan"},
        // Decoding stops at the first character outside the alphabet.
        {"TWFu TWFu", "Man"}, {"TWFu=TWFu", "Man"}, {"TW-u", "M"}, {std::string_view("TWFu\0TWFu", 9), "Man"},
        {"TWFu\xc3\xa9TWFu", "Man"},
    };
    for (const auto& c : cases) EXPECT_EQ(Decoded(c.text), c.decoded) << c.text;
    // Every byte value survives, including the high ones and "+" and "/".
    EXPECT_EQ(DecodeBase64("AP8+/w=="), (std::vector<std::uint8_t>{0x00, 0xFF, 0x3E, 0xFF}));
    EXPECT_EQ(DecodeBase64(nullptr, 4), std::vector<std::uint8_t>{});
    // The length bounds the read even without a terminator.
    const char unterminated[4] = {'T', 'W', 'F', 'u'};
    EXPECT_EQ(DecodeBase64(unterminated, 2), (std::vector<std::uint8_t>{'M'}));
}

}  // namespace
}  // namespace Kesh
