// The reader's one-pass typing of plain scalars against the plain statement of the
// rules (AssignPlainYamlScalar): same kind and same value, bit for bit for Floats.
#include <gtest/gtest.h>

#include <initializer_list>
#include <random>
#include <string>
#include <string_view>

#include "binding/BindingProperty.h"
#include "formats/YamlScalar.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Testing::Shape;

// Both typings of text, written out whole (Shape gives every double its shortest exact
// text, so equal shapes are equal bits), into a member as the reader has it: Empty, or
// holding an earlier value (a repeated key). Empty when they agree.
std::string Mismatch(std::string_view text) {
    for (const bool holdsValue : {false, true}) {
        BindingProperty expected;
        BindingProperty actual;
        if (holdsValue) {
            expected = "earlier";
            actual = "earlier";
        }
        AssignPlainYamlScalar(expected, text);
        AssignPlainYamlScalarFast(actual, text);
        if (Shape(expected) != Shape(actual)) return Shape(expected) + " but fast " + Shape(actual);
    }
    return "";
}

TEST(YamlPlainScalar, FastTypingAgreesOnEveryShape) {
    using namespace std::string_view_literals;
    for (const std::string_view text : std::initializer_list<std::string_view>{
             // integers around the one-pass limit of 18 digits and the 64-bit ends
             "0", "7", "+7", "-0", "+0", "007", "-007", "999999999999999999", "-999999999999999999",
             "1000000000000000000", "-1000000000000000000", "9223372036854775807", "-9223372036854775808",
             "-9223372036854775809", "18446744073709551615", "18446744073709551616", "99999999999999999999999",
             // decimals around the exact-division limits: 2^53, 19 digits, 10^22
             "1.5", "-1.5", "0.1", "-0.0", "+0.0", "1.0", "-2.0", "5.", "-5.", "48.8839743455497", "-75.0237854014599",
             "9007199254740992.5", "0.9007199254740993", "0.9007199254740992", "9007199.254740993",
             "1.000000000000000000", "0.1234567890123456789", "0.12345678901234567890", "0.0000000000000000000001",
             "0.00000000000000000000001", "1.0000000000000000000000001", "123456789012345678.9", "9223372036854775808.0",
             "-9223372036854775808.0", "-9223372036854775809.0", "18446744073709551616.0", "18446744073709551615.0",
             "0.000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
             "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
             "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
             "00000000000000000000000000000000000000000000000000000000000001",
             // not decimals of the one-pass shape: the general path's rules
             ".5", "-.5", "+.5", ".", "-", "+", "1e3", "1E3", "-1e-3", "1.5e2", "0x1F", "-0x10", "0x", "1x5", "--5",
             "+-5", "-+5", "1.2.3", "1..2", "1_000", "12abc", "1.5abc", ".inf", "-.inf", ".nan", "inf", "nan", "1e999",
             " 5", "5 ", "5\0" "6"sv, "1.5\0"sv,
             // words: every null and bool word, near misses, and texts that only start like one
             "", "~", "~~", "null", "Null", "NULL", "nULL", "nul", "nulls", "true", "True", "TRUE", "tRUE", "y", "Y",
             "yes", "Yes", "YES", "yES", "on", "On", "ON", "oN", "false", "False", "FALSE", "falsE", "n", "N", "no",
             "No", "NO", "nO", "off", "Off", "OFF", "oFF", "o", "t", "f", "fals", "falsey", "Yes!", "offer", "word",
             "Arrière-scène", "text with spaces",
         }) {
        EXPECT_EQ(Mismatch(text), "") << '"' << text << '"';
    }
}

// Random texts over the bytes numbers are made of, so that digit counts, point
// positions and rounding cases the table misses are met too.
TEST(YamlPlainScalar, FastTypingAgreesOnRandomNumberTexts) {
    std::mt19937 random(20241207);
    const std::string_view alphabet = "0123456789012345678901234567890123456789.-+e";
    for (int i = 0; i < 200000; ++i) {
        std::string text;
        const std::size_t length = 1 + random() % 24;
        for (std::size_t j = 0; j < length; ++j) text += alphabet[random() % alphabet.size()];
        ASSERT_EQ(Mismatch(text), "") << '"' << text << '"';
    }
}

}  // namespace
}  // namespace Kesh
