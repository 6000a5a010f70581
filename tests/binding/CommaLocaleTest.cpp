#include <gtest/gtest.h>

#include "binding/BindingProperty.h"
#include "binding/NativeAssign.h"
#include "tests/support/CommaLocale.h"

namespace Kesh {
namespace {

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
