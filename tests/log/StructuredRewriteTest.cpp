// What a structured template becomes for the positional step: printf directives keep
// every part of their spec once numbered, and a silent placeholder eats any kind of
// white space before it.
#include <gtest/gtest.h>

#include <string>

#include "log/FormatStructured.h"

namespace Kesh {
namespace {

std::string Positional(const char* templateText, std::initializer_list<MessageArgument> arguments) {
    std::string output;
    MessageFields fields;
    FormatStructured(templateText, arguments.begin(), arguments.size(), output, fields);
    return output;
}

TEST(StructuredRewrite, NumberedDirectivesKeepFlagsWidthPrecisionAndLength) {
    struct Case {
        const char* templateText;
        const char* positional;
    };
    const Case cases[] = {
        {"{a} %-05d|", "%1 %2$-05d|"},
        {"{a} %+ #x|", "%1 %2$+ #x|"},
        {"{a} %8.3Lf|", "%1 %2$8.3Lf|"},
        {"{a} %jd %zu %td", "%1 %2$jd %3$zu %4$td"},
        {"{a} %hhd %lld", "%1 %2$hhd %3$lld"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Positional(c.templateText, {"x", 1, 2, 3}), c.positional) << c.templateText;
    }
    EXPECT_EQ(FormatStructuredMessage("{a} %-4d|", {"x", 5}).text, "x 5   |");
}

TEST(StructuredRewrite, SilentPlaceholderTrimsEveryWhiteSpace) {
    for (const char* space : {" ", "\t", "\n", "\r", "\v", "\f", " \t\n"}) {
        const std::string templateText = std::string("a") + space + "{x!}";
        EXPECT_EQ(Positional(templateText.c_str(), {"v"}), "a") << static_cast<int>(space[0]);
    }
}

TEST(StructuredRewrite, FieldValuesEqualByKindAndValue) {
    EXPECT_EQ(MessageArgument(true), MessageArgument(true));
    EXPECT_EQ(MessageArgument(false), MessageArgument(false));
    EXPECT_FALSE(MessageArgument(true) == MessageArgument(false));
    EXPECT_FALSE(MessageArgument(true) == MessageArgument(1));
    EXPECT_EQ(MessageArgument(-2), MessageArgument(std::int64_t{-2}));
    EXPECT_FALSE(MessageArgument(2.5) == MessageArgument(2.25));
}

}  // namespace
}  // namespace Kesh
