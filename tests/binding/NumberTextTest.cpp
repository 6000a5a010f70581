#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "binding/BindingProperty.h"
#include "binding/NativeAssign.h"
#include "binding/NumberText.h"
#include "tests/support/CommaLocale.h"

namespace Kesh {
namespace {

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
          std::string("NaN(12ab)"), std::string("1e999"), std::string("-1e999"), std::string("1e-999"),
          std::string("0x1p99999"), std::string(".5"), std::string("5."), std::string("."), std::string("e5"),
          std::string("+-5"), std::string("- 5"), std::string("1e"), std::string("1e+"), std::string("0x1p"),
          std::string("\t\n12abc"), std::string(""), std::string("abc"), std::string("1,25"),
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
