// A precision taken from an argument: zero is a precision like any other (no digits
// after the point, no characters of a text), only a negative one means none.
#include <gtest/gtest.h>

#include <vector>

#include "log/FormatPositional.h"

namespace Kesh {
namespace {

TEST(StarPrecision, ZeroCountsNegativeMeansNone) {
    struct Case {
        const char* templateText;
        std::vector<FormatArgument> arguments;
        const char* text;
    };
    const Case cases[] = {
        {"[%.*f]", {0, 2.75}, "[3]"},
        {"[%1$.*2$f]", {2.75, 0}, "[3]"},
        {"[%.*s]", {0, "abc"}, "[]"},
        {"[%.*f]", {1, 2.75}, "[2.8]"},
        {"[%.*f]", {-2, 2.75}, "[2.750000]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatPositionalString(c.templateText, c.arguments.data(), c.arguments.size()), c.text) << c.templateText;
    }
}

}  // namespace
}  // namespace Kesh
