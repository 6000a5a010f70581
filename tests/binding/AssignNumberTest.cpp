#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>

#include "binding/BindingProperty.h"
#include "binding/NativeAssign.h"
#include "binding/NumberAssign.h"
#include "binding/NumberText.h"
#include "tests/support/CommaLocale.h"

namespace Kesh {
namespace {

constexpr double kFloatMax = 3.4028234663852886e38;
constexpr double kDoubleMax = 1.7976931348623157e308;

// Runs the rule for the named type on input, from a target of 99 (so that a rule that
// forgets to write shows), and gives "= <value>" or the message. In the expected texts,
// "range X" and "format X" stand for the out-of-range and bad-format messages for X.
std::string Outcome(const BindingProperty& input, const std::string& type) {
    ConversionResult result;
    std::ostringstream value;
    value.precision(17);
    bool ok = false;
    if (type[0] == 'i') {
        const int bits = std::stoi(type.substr(3));
        const std::int64_t maximum = bits == 64 ? INT64_MAX : (std::int64_t{1} << (bits - 1)) - 1;
        std::int64_t out = 99;
        ok = AssignSigned(result, out, input, "field", -maximum - 1, maximum, type.c_str());
        value << out;
    } else if (type[0] == 'u') {
        const int bits = std::stoi(type.substr(4));
        std::uint64_t out = 99;
        ok = AssignUnsigned(result, out, input, "field", bits == 64 ? UINT64_MAX : (std::uint64_t{1} << bits) - 1, type.c_str());
        value << out;
    } else {
        const double maximum = type == "float" ? kFloatMax : kDoubleMax;
        double out = 99;
        ok = AssignFloating(result, out, input, "field", -maximum, maximum, type.c_str());
        value << out;
    }
    EXPECT_EQ(ok, result.Ok());
    return ok ? "= " + value.str() : result.ErrorMessage();
}

std::string Expected(const std::string& text, const std::string& type) {
    const auto message = [&](std::size_t skip, const char* end) {
        return "Value " + text.substr(skip) + " for 'field' of type " + type + end;
    };
    if (text.starts_with("range ")) return message(6, " is out of range");
    if (text.starts_with("format ")) return message(7, " is in an incorrect format");
    return text;
}

TEST(AssignNumberTest, EveryRuleAtItsLimitsAndWithTexts) {
    const double nan = std::nan("");
    BindingProperty collection;
    collection.MakeCollection();
    const struct {
        BindingProperty input;
        const char* type;
        const char* outcome;
    } cases[] = {
        // Signed ranges at both ends.
        {-128, "int8", "= -128"},
        {127, "int8", "= 127"},
        {-129, "int8", "range -129"},
        {128u, "int8", "range 128"},
        {std::uint64_t{UINT64_MAX}, "int64", "range 18446744073709551615"},
        {std::int64_t{INT64_MIN}, "int64", "= -9223372036854775808"},
        {std::int64_t{2147483648LL}, "int32", "range 2147483648"},
        {"-2147483648", "int32", "= -2147483648"},
        {"-2147483649", "int32", "range -2147483649"},
        {"9223372036854775808", "int64", "range 9223372036854775808"},
        // Integer texts.
        {"0x10", "int32", "= 16"},
        {"0X10", "int32", "= 16"},
        {"010", "int32", "= 8"},
        {" 5", "int32", "= 5"},
        {"-5", "int32", "= -5"},
        {"", "int32", "= 0"},
        {"5 ", "int32", "format 5 "},
        {"09", "int32", "format 09"},
        {" ", "int32", "format  "},
        {" ", "uint8", "format  "},
        {"-1", "uint64", "range -1"},
        {" -1", "uint64", "range  -1"},
        {"18446744073709551615", "uint64", "= 18446744073709551615"},
        {"18446744073709551616", "uint64", "range 18446744073709551616"},
        {"0xff", "uint8", "= 255"},
        {"256", "uint8", "range 256"},
        {"1x", "uint8", "format 1x"},
        // Unsigned ranges.
        {300, "uint8", "range 300"},
        {255, "uint8", "= 255"},
        {0, "uint8", "= 0"},
        {-1, "uint32", "range -1"},
        {std::uint64_t{4294967296ULL}, "uint32", "range 4294967296"},
        {-0.5, "uint8", "range -0.5"},
        {254.9, "uint8", "= 254"},
        {255.5, "uint8", "range 255.5"},
        {18446744073709551616.0, "uint64", "range 1.84467e+19"},  // 2^64 equals the maximum as a double
        {BindingProperty::FromEnum(-1, nullptr), "uint8", "range -1"},
        // Float inputs to integers; NaN passes the range test and becomes 0.
        {2.9, "int8", "= 2"},
        {-2.9, "int8", "= -2"},
        {127.5, "int8", "range 127.5"},
        {9223372036854775808.0, "int64", "range 9.22337e+18"},
        {-9223372036854775808.0, "int64", "= -9223372036854775808"},
        {nan, "int32", "= 0"},
        {nan, "uint64", "= 0"},
        // Float and double ranges.
        {1e39, "float", "range 1e+39"},
        {1e39, "double", "= 9.9999999999999994e+38"},
        {-kFloatMax, "float", "= -3.4028234663852886e+38"},
        {kFloatMax, "float", "= 3.4028234663852886e+38"},
        {"1e39", "float", "range 1e39"},
        {"1e-400", "double", "range 1e-400"},
        {"1e309", "double", "range 1e309"},
        {std::numeric_limits<double>::infinity(), "double", "range inf"},
        {" 2.5", "double", "= 2.5"},
        {"2.5 ", "double", "format 2.5 "},
        {std::int64_t{INT64_MIN}, "float", "= -9.2233720368547758e+18"},
        {std::uint64_t{UINT64_MAX}, "double", "= 1.8446744073709552e+19"},
        {nan, "double", "= nan"},
        // Other kinds.
        {BindingProperty(), "int32", "A value for 'field' is required."},
        {true, "int32", "Couldn't assign value to 'field' of type int32 because the input is of an invalid type bool."},
        {false, "double", "Couldn't assign value to 'field' of type double because the input is of an invalid type bool."},
        {collection, "uint8", "Couldn't assign value to 'field' of type uint8 because the input is of an invalid type collection."},
        {BindingProperty::FromEnum(7, nullptr), "int32", "= 7"},
        {BindingProperty::FromEnum(-7, nullptr), "double", "= -7"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Outcome(c.input, c.type), Expected(c.outcome, c.type)) << c.type << " " << c.outcome;
    }
}

TEST(AssignNumberTest, AnEarlierFailureZeroesTheTargetAndKeepsTheFirstMessage) {
    ConversionResult result = ConversionResult::Failure("first");
    std::int64_t s = 5;
    std::uint64_t u = 5;
    double d = 5;
    EXPECT_FALSE(AssignSigned(result, s, BindingProperty(1), "x", INT32_MIN, INT32_MAX, "int32"));
    EXPECT_FALSE(AssignUnsigned(result, u, BindingProperty(1), "x", 255, "uint8"));
    EXPECT_FALSE(AssignFloating(result, d, BindingProperty(1.0), "x", -kDoubleMax, kDoubleMax, "double"));
    EXPECT_EQ(s, 0);
    EXPECT_EQ(u, 0u);
    EXPECT_EQ(d, 0.0);
    EXPECT_STREQ(result.ErrorMessage(), "first");
}

// Numbers in texts, as values and native conversions read them.
struct Read {
    double value;
    std::ptrdiff_t used;
    bool rangeError;
};

template <typename Parse>
Read ReadWith(Parse parse, const char* text) {
    char* end = nullptr;
    errno = 0;
    const double value = parse(text, &end);
    return {value, end - text, errno == ERANGE};
}

// Every form strtod accepts in the "C" locale reads the same, to the character where it
// stops and the range error.
TEST(NumberText, ReadsWhatStrtodReadsInTheCLocale) {
#if defined(_WIN32)
    GTEST_SKIP() << "the reference is the C library's strtod, and Windows' reads some forms differently (\"- 5\" as -0)";
#endif
    ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    const std::string longInteger = "1" + std::string(400, '0');
    const std::string longFraction = "0." + std::string(400, '0') + "1";
    for (const std::string& text :
         {std::string("1.25"), std::string("  +1.5e3"), std::string("-0x1.8p1"), std::string("0xa.fFp1"), std::string("0x"),
          std::string("0x.8"), std::string("0xg"), std::string("inf"), std::string("-Infinity"), std::string("nan"),
          std::string("NaN(12ab)"), std::string("1e999"), std::string("-1e999"), std::string("1e-999"), std::string("1e-0400"), std::string("10e-400"),
          std::string("0x1p99999"), std::string(".5"), std::string("5."), std::string("."), std::string("e5"),
          std::string("+-5"), std::string("- 5"), std::string("1e"), std::string("1e+"), std::string("0x1p"),
          std::string("\t\n\v\f\r 12abc"), std::string(""), std::string("abc"), std::string("1,25"),
          std::string("1.7976931348623157e308"), std::string("2.2250738585072014e-308"), std::string("-0"),
          std::string("0000.0001e-2"), longInteger, longFraction}) {
        SCOPED_TRACE("\"" + text + "\"");
        const Read expected = ReadWith([](const char* t, char** e) { return std::strtod(t, e); }, text.c_str());
        const Read got = ReadWith(ParseDouble, text.c_str());
        EXPECT_EQ(got.used, expected.used);
        EXPECT_EQ(got.rangeError, expected.rangeError);
        if (std::isnan(expected.value)) {
            EXPECT_TRUE(std::isnan(got.value));
        } else {
            EXPECT_EQ(got.value, expected.value);
            EXPECT_EQ(std::signbit(got.value), std::signbit(expected.value));
        }
    }
    EXPECT_EQ(ParseDouble("2.5", nullptr), 2.5);
}

// A host may switch the process to a locale that writes "1,25": numbers in values and
// native conversions still read with ".".
TEST(NumberText, ValuesReadTheSameUnderACommaLocale) {
    Testing::CommaLocale locale;
    PZL_REQUIRE_COMMA_LOCALE(locale);
    EXPECT_EQ(BindingProperty("1.25").ToDouble(), 1.25);
    EXPECT_EQ(BindingProperty(" -2.5e1x").ToDouble(), -25.0);
    EXPECT_EQ(BindingProperty("1,25").ToDouble(), 1.0);
    double number = 0.0;
    ConversionResult result;
    EXPECT_TRUE(AssignNative(result, number, BindingProperty("1.25"), "zoom", nullptr)) << result.ErrorMessage();
    EXPECT_EQ(number, 1.25);
    float single = 0.0f;
    EXPECT_TRUE(AssignNative(result, single, BindingProperty("0.5"), "zoom", nullptr)) << result.ErrorMessage();
    EXPECT_EQ(single, 0.5f);
    EXPECT_FALSE(AssignNative(result, number, BindingProperty("1,25"), "zoom", nullptr));
    EXPECT_STREQ(result.ErrorMessage(), "Value 1,25 for 'zoom' of type double is in an incorrect format");
}

}  // namespace
}  // namespace Kesh
