#include <gtest/gtest.h>

#include <string>

#include "log/FormatPositional.h"
#include "log/FormatStructured.h"

namespace Kesh {
namespace {

struct Structured {
    std::string positional;
    MessageFields fields;
};

Structured Convert(const char* templateText, std::initializer_list<MessageArgument> arguments) {
    Structured result;
    FormatStructured(templateText, arguments.begin(), arguments.size(), result.positional, result.fields);
    return result;
}

TEST(FormatStructured, NamedPlaceholdersBecomeNumberedOnes) {
    const char* templateText = "Error response for {method} {url}: {error}";
    Structured converted = Convert(templateText, {"GET", "/qor-gameflow/v1/session", "Not found"});
    EXPECT_EQ(converted.positional, "Error response for %1 %2: %3");
    ASSERT_EQ(converted.fields.size(), 3u);
    EXPECT_EQ(converted.fields["method"].StringValue(), "GET");
    EXPECT_EQ(converted.fields["url"].StringValue(), "/qor-gameflow/v1/session");
    EXPECT_EQ(converted.fields["error"], MessageArgument("Not found"));

    StructuredMessage message = FormatStructuredMessage(templateText, {"POST", "/keshclient/affinity", "busy"});
    EXPECT_EQ(message.text, "Error response for POST /keshclient/affinity: busy");
    EXPECT_EQ(message.fields.size(), 3u);

    message = FormatStructuredMessage("{n} {u} {d} {b} {s}", {std::int64_t{-9000000000}, 5u, 0.25, true, ""});
    EXPECT_EQ(message.text, "-9000000000 5 0.25 true ");
    EXPECT_EQ(message.fields["u"].Kind(), MessageArgumentKind::UnsignedInteger);
    EXPECT_EQ(message.fields["b"].Kind(), MessageArgumentKind::Bool);
}

// Signed and unsigned integers of every width all get "_int".
TEST(FormatStructured, TypedPlaceholdersGetTheirSuffix) {
    Structured converted = Convert("{#code} {#code_int} {#on} {#ratio} {#host_ip} {#name} {#x_y} {#wide}",
                                   {404u, -7, true, 1.5, "127.0.0.1", "n", "v", std::int64_t{-9000000000}});
    EXPECT_EQ(converted.positional, "%1 %2 %3 %4 %5 %6 %7 %8");
    EXPECT_EQ(converted.fields.size(), 7u);
    EXPECT_EQ(converted.fields["code_int"].SignedValue(), -7);  // the later one replaced 404
    EXPECT_EQ(converted.fields["code_int"].Kind(), MessageArgumentKind::SignedInteger);
    EXPECT_EQ(converted.fields["wide_int"].SignedValue(), -9000000000);
    EXPECT_TRUE(converted.fields["on_bool"].BoolValue());
    EXPECT_EQ(converted.fields["ratio_float"].DoubleValue(), 1.5);
    EXPECT_EQ(converted.fields.count("host_ip"), 1u);
    EXPECT_EQ(converted.fields.count("name_str"), 1u);
    EXPECT_EQ(converted.fields.count("x_y_str"), 1u);
}

TEST(FormatStructured, ASpecWithoutConversionNeverTakesTheFollowingText) {
    const struct {
        const char* templateText;
        MessageArgument value;
        const char* text;
    } cases[] = {
        {"{n:} apples", 3, "3 apples"},
        {"{n:}5", 3, "35"},
        {"{n:5} apples", 3, "    3 apples"},
        {"{n:05}x", -3, "-0003x"},
        {"{s:-4}|", "ab", "ab  |"},
        {"{d:.2} m", 1.25, "1.2 m"},
        {"{u:ll}u", 7u, "7u"},
        {"{n:5d} apples", 3, "    3 apples"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatStructuredMessage(c.templateText, {c.value}).text, c.text) << c.templateText;
    }
}

TEST(FormatStructured, SpecifiedConditionalAndSilentPlaceholders) {
    Structured converted = Convert("{n:05d}", {42});
    EXPECT_EQ(converted.positional, "%1$05d");
    EXPECT_EQ(FormatStructuredMessage("{n:05d}", {42}).text, "00042");

    converted = Convert("A{x?none}", {""});
    EXPECT_EQ(converted.positional, "Anone");
    EXPECT_TRUE(converted.fields.empty());
    converted = Convert("A{x?none}", {"y"});
    EXPECT_EQ(converted.positional, "A%1");
    EXPECT_EQ(converted.fields.count("x"), 1u);
    // Empty values of every kind, and an alternative with a spec after it.
    EXPECT_EQ(FormatStructuredMessage("{a?-}{b?-}{c?-}{d?-}{e?x:5d}", {false, 0, 0u, 0.0, 0}).text, "----x");
    EXPECT_EQ(FormatStructuredMessage("{e?x:5d}", {3}).text, "    3");
    // The alternative is plain text, percent signs included.
    EXPECT_EQ(FormatStructuredMessage("{x?100% off} {y}", {"", "z"}).text, "100% off z");

    converted = Convert("a {x!}", {"v"});
    EXPECT_EQ(converted.positional, "a");
    EXPECT_EQ(converted.fields.count("x"), 1u);
    // Only what this call wrote is trimmed.
    std::string output = "kept ";
    MessageFields fields;
    MessageArgument argument("v");
    FormatStructured("{x!}", &argument, 1, output, fields);
    EXPECT_EQ(output, "kept ");
}

TEST(FormatStructured, BracesPercentsAndEscapes) {
    Structured converted = Convert("{{x}} }} } %% {a\\}b\\?c}", {"v"});
    EXPECT_EQ(converted.positional, "{x} } } %% %1");
    EXPECT_EQ(converted.fields.count("a}b?c"), 1u);
    EXPECT_EQ(FormatStructuredMessage("100%% {a}", {"done"}).text, "100% done");
    // A stray opening brace inside a placeholder is ignored.
    EXPECT_EQ(Convert("{a{b}", {1}).fields.count("ab"), 1u);
}

TEST(FormatStructured, MissingArgumentsAndUnfinishedPlaceholders) {
    Structured converted = Convert("{a} {b} {c}.", {"x"});
    EXPECT_EQ(converted.positional, "%1  .");
    EXPECT_EQ(converted.fields.size(), 1u);
    EXPECT_EQ(Convert("x {a", {"v"}).positional, "x ");
    EXPECT_EQ(Convert("x {a\\", {"v"}).positional, "x ");
    EXPECT_EQ(Convert("x %", {}).positional, "x ");
    MessageFields fields;
    std::string output;
    FormatStructured(nullptr, nullptr, 4, output, fields);
    FormatStructured("{a}", nullptr, 4, output, fields);
    EXPECT_TRUE(output.empty());
    EXPECT_TRUE(fields.empty());
}

TEST(FormatStructured, PrintfDirectivesKeepTheirArguments) {
    Structured converted = Convert("%s {a} %2$05d", {"x", 7});
    EXPECT_EQ(converted.positional, "%1$s %2 %2$05d");
    EXPECT_TRUE(converted.fields.count("a") == 1);
    // A directive after a placeholder names its argument, so the positional template
    // still finds the second value.
    EXPECT_EQ(Convert("{a} %d", {"x", 5}).positional, "%1 %2$d");
    EXPECT_EQ(FormatStructuredMessage("{a} %d", {"x", 5}).text, "x 5");
    EXPECT_EQ(FormatStructuredMessage("{a} [%*d] {b}", {"x", 4, 5, "y"}).text, "x [   5] y");
    EXPECT_EQ(FormatStructuredMessage("%1 {a}", {"p", "q"}).text, "p q");
    // A short form followed by a digit or '$' gets its conversion spelt out.
    EXPECT_EQ(Convert("{a}5 {b}$ {c}{d?7}", {"x", std::int64_t{3}, 2.5, ""}).positional, "%1$s5 %2$lld$ %3$g7");
    EXPECT_EQ(FormatStructuredMessage("{a}5 {b}$ {c}{d?7}", {"x", std::int64_t{-3}, 2.5, ""}).text, "x5 -3$ 2.57");
}

TEST(FormatStructured, AppendsToOutputAndFields) {
    std::string output = "pre:";
    MessageFields fields;
    fields.emplace("old", MessageArgument(1));
    MessageArgument arguments[] = {MessageArgument("v"), MessageArgument(2.0)};
    FormatStructured("{a}{b}", arguments, 2, output, fields);
    EXPECT_EQ(output, "pre:%1%2");
    EXPECT_EQ(fields.size(), 3u);
    EXPECT_EQ(fields["old"].SignedValue(), 1);

    std::string huge(10000, 'y');
    StructuredMessage message = FormatStructuredMessage("{a}", {huge});
    EXPECT_EQ(message.text.size(), kMessageBufferSize - 1);
    EXPECT_EQ(message.fields["a"].StringValue().size(), huge.size());
}

// What a structured template becomes for the positional step: printf directives keep
// every part of their spec once numbered, and a silent placeholder eats any kind of
// white space before it.
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
