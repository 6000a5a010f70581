#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "binding/NumberAssign.h"

namespace Kesh {
namespace {

template <typename T>
struct Outcome {
    bool ok;
    T value;
    std::string message;
};

// Each rule starts from a target of 99, so a rule that forgets to write shows.
template <typename T, typename Rule>
Outcome<T> Run(Rule rule) {
    ConversionResult result;
    T out = 99;
    const bool ok = rule(result, out);
    EXPECT_EQ(ok, result.Ok());
    return {ok, out, result.ErrorMessage()};
}

Outcome<std::int64_t> Signed(const BindingProperty& input, std::int64_t minimum, std::int64_t maximum,
                             const char* typeName) {
    return Run<std::int64_t>([&](ConversionResult& result, std::int64_t& out) {
        return AssignSigned(result, out, input, "field", minimum, maximum, typeName);
    });
}

Outcome<std::int64_t> Int32(const BindingProperty& input) { return Signed(input, INT32_MIN, INT32_MAX, "int32"); }
Outcome<std::int64_t> Int64(const BindingProperty& input) { return Signed(input, INT64_MIN, INT64_MAX, "int64"); }

Outcome<std::uint64_t> Unsigned(const BindingProperty& input, std::uint64_t maximum, const char* typeName) {
    return Run<std::uint64_t>([&](ConversionResult& result, std::uint64_t& out) {
        return AssignUnsigned(result, out, input, "field", maximum, typeName);
    });
}

Outcome<std::uint64_t> Uint64(const BindingProperty& input) { return Unsigned(input, UINT64_MAX, "uint64"); }

std::string OutOfRange(const std::string& text, const char* typeName) {
    return "Value " + text + " for 'field' of type " + typeName + " is out of range";
}

std::string BadFormat(const std::string& text, const char* typeName) {
    return "Value " + text + " for 'field' of type " + typeName + " is in an incorrect format";
}

constexpr double kFloatMax = 3.4028234663852886e38;
constexpr double kDoubleMax = 1.7976931348623157e308;

Outcome<double> Floating(const BindingProperty& input, bool single) {
    const double maximum = single ? kFloatMax : kDoubleMax;
    return Run<double>([&](ConversionResult& result, double& out) {
        return AssignFloating(result, out, input, "field", -maximum, maximum, single ? "float" : "double");
    });
}

TEST(AssignNumberTest, SignedRangesAtBothEnds) {
    EXPECT_EQ(Signed(BindingProperty(-128), -128, 127, "int8").value, -128);
    EXPECT_EQ(Signed(BindingProperty(127), -128, 127, "int8").value, 127);
    EXPECT_EQ(Signed(BindingProperty(-129), -128, 127, "int8").message, OutOfRange("-129", "int8"));
    EXPECT_EQ(Signed(BindingProperty(128u), -128, 127, "int8").message, OutOfRange("128", "int8"));
    EXPECT_EQ(Int64(BindingProperty(std::uint64_t{UINT64_MAX})).message, OutOfRange("18446744073709551615", "int64"));
    EXPECT_EQ(Int64(BindingProperty(std::int64_t{INT64_MIN})).value, INT64_MIN);
    EXPECT_EQ(Int32(BindingProperty(std::int64_t{2147483648LL})).message, OutOfRange("2147483648", "int32"));
    EXPECT_EQ(Int32(BindingProperty("-2147483648")).value, INT32_MIN);
    EXPECT_EQ(Int32(BindingProperty("-2147483649")).message, OutOfRange("-2147483649", "int32"));
    EXPECT_EQ(Int64(BindingProperty("9223372036854775808")).message, OutOfRange("9223372036854775808", "int64"));
}

TEST(AssignNumberTest, IntegerTexts) {
    EXPECT_EQ(Int32(BindingProperty("0x10")).value, 16);
    EXPECT_EQ(Int32(BindingProperty("0X10")).value, 16);
    EXPECT_EQ(Int32(BindingProperty("010")).value, 8);
    EXPECT_EQ(Int32(BindingProperty(" 5")).value, 5);
    EXPECT_EQ(Int32(BindingProperty("-5")).value, -5);
    const Outcome<std::int64_t> empty = Int32(BindingProperty(""));
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.value, 0);
    EXPECT_EQ(Int32(BindingProperty("5 ")).message, BadFormat("5 ", "int32"));
    EXPECT_EQ(Int32(BindingProperty("09")).message, BadFormat("09", "int32"));
    EXPECT_FALSE(Int32(BindingProperty(" ")).ok);

    EXPECT_EQ(Uint64(BindingProperty("-1")).message, OutOfRange("-1", "uint64"));
    EXPECT_FALSE(Uint64(BindingProperty(" -1")).ok);
    EXPECT_EQ(Uint64(BindingProperty("18446744073709551615")).value, UINT64_MAX);
    EXPECT_EQ(Uint64(BindingProperty("18446744073709551616")).message, OutOfRange("18446744073709551616", "uint64"));
    EXPECT_EQ(Unsigned(BindingProperty("0xff"), 255, "uint8").value, 255u);
    EXPECT_FALSE(Unsigned(BindingProperty("256"), 255, "uint8").ok);
    EXPECT_EQ(Unsigned(BindingProperty("1x"), 255, "uint8").message, BadFormat("1x", "uint8"));
}

TEST(AssignNumberTest, UnsignedRanges) {
    EXPECT_EQ(Unsigned(BindingProperty(300), 255, "uint8").message, OutOfRange("300", "uint8"));
    EXPECT_EQ(Unsigned(BindingProperty(255), 255, "uint8").value, 255u);
    EXPECT_EQ(Unsigned(BindingProperty(0), 255, "uint8").value, 0u);
    EXPECT_EQ(Unsigned(BindingProperty(-1), UINT32_MAX, "uint32").message, OutOfRange("-1", "uint32"));
    EXPECT_EQ(Unsigned(BindingProperty(std::uint64_t{4294967296ULL}), UINT32_MAX, "uint32").message,
              OutOfRange("4294967296", "uint32"));
    EXPECT_EQ(Unsigned(BindingProperty(-0.5), 255, "uint8").message, OutOfRange("-0.5", "uint8"));
    EXPECT_EQ(Unsigned(BindingProperty(254.9), 255, "uint8").value, 254u);
    EXPECT_FALSE(Unsigned(BindingProperty(255.5), 255, "uint8").ok);
    // 2^64 equals the uint64 maximum as a double but does not fit.
    EXPECT_FALSE(Uint64(BindingProperty(18446744073709551616.0)).ok);
    EXPECT_EQ(Unsigned(BindingProperty::FromEnum(-1, nullptr), 255, "uint8").message, OutOfRange("-1", "uint8"));
}

TEST(AssignNumberTest, FloatInputsToIntegers) {
    EXPECT_EQ(Signed(BindingProperty(2.9), -128, 127, "int8").value, 2);
    EXPECT_EQ(Signed(BindingProperty(-2.9), -128, 127, "int8").value, -2);
    EXPECT_EQ(Signed(BindingProperty(127.5), -128, 127, "int8").message, OutOfRange("127.5", "int8"));
    EXPECT_FALSE(Int64(BindingProperty(9223372036854775808.0)).ok);
    EXPECT_EQ(Int64(BindingProperty(-9223372036854775808.0)).value, INT64_MIN);
    // NaN passes the range test and becomes 0.
    const Outcome<std::int64_t> nan = Int32(BindingProperty(std::nan("")));
    EXPECT_TRUE(nan.ok);
    EXPECT_EQ(nan.value, 0);
    EXPECT_EQ(Uint64(BindingProperty(std::nan(""))).value, 0u);
}

TEST(AssignNumberTest, FloatAndDoubleRanges) {
    EXPECT_EQ(Floating(BindingProperty(1e39), true).message, OutOfRange("1e+39", "float"));
    EXPECT_EQ(Floating(BindingProperty(1e39), false).value, 1e39);
    EXPECT_EQ(Floating(BindingProperty(-kFloatMax), true).value, -kFloatMax);
    EXPECT_EQ(Floating(BindingProperty("1e39"), true).message, OutOfRange("1e39", "float"));
    EXPECT_EQ(Floating(BindingProperty("1e-400"), false).message, OutOfRange("1e-400", "double"));
    EXPECT_EQ(Floating(BindingProperty("1e309"), false).message, OutOfRange("1e309", "double"));
    EXPECT_FALSE(Floating(BindingProperty(std::numeric_limits<double>::infinity()), false).ok);
    EXPECT_EQ(Floating(BindingProperty(" 2.5"), false).value, 2.5);
    EXPECT_EQ(Floating(BindingProperty("2.5 "), false).message, BadFormat("2.5 ", "double"));
    EXPECT_EQ(Floating(BindingProperty(std::int64_t{INT64_MIN}), true).value, -9223372036854775808.0);
    EXPECT_EQ(Floating(BindingProperty(std::uint64_t{UINT64_MAX}), false).value, 18446744073709551616.0);
    EXPECT_TRUE(std::isnan(Floating(BindingProperty(std::nan("")), false).value));
}

TEST(AssignNumberTest, KindsAndFailedResults) {
    EXPECT_FALSE(Int32(BindingProperty()).ok);
    EXPECT_EQ(Int32(BindingProperty(true)).message,
              "Couldn't assign value to 'field' of type int32 because the input is of an invalid type bool.");
    EXPECT_EQ(Floating(BindingProperty(false), false).message,
              "Couldn't assign value to 'field' of type double because the input is of an invalid type bool.");
    BindingProperty collection;
    collection.MakeCollection();
    EXPECT_EQ(Unsigned(collection, 255, "uint8").message,
              "Couldn't assign value to 'field' of type uint8 because the input is of an invalid type collection.");
    EXPECT_EQ(Int32(BindingProperty::FromEnum(7, nullptr)).value, 7);
    EXPECT_EQ(Floating(BindingProperty::FromEnum(-7, nullptr), false).value, -7.0);

    // An earlier failure makes every rule zero its target and keep the first message.
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

}  // namespace
}  // namespace Kesh
