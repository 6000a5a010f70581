#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "log/FormatPositional.h"
#include "platform/Allocator.h"

namespace Kesh {
namespace {

std::string Format(const char* templateText, std::initializer_list<FormatArgument> arguments = {}) {
    return FormatPositionalString(templateText, arguments);
}

// Formats into a buffer of exactly size bytes surrounded by guard bytes, and checks that
// nothing outside it was touched and that the result is terminated.
std::string FormatBounded(std::size_t size, const char* templateText, std::initializer_list<FormatArgument> arguments) {
    std::vector<char> memory(size + 32, '#');
    char* buffer = memory.data() + 16;
    std::size_t length = FormatPositional(buffer, size, templateText, arguments.begin(), arguments.size());
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(memory[i], '#');
        EXPECT_EQ(memory[16 + size + i], '#');
    }
    if (size == 0) {
        EXPECT_EQ(length, 0u);
        return std::string();
    }
    EXPECT_LT(length, size);
    EXPECT_EQ(buffer[length], '\0');
    EXPECT_EQ(std::strlen(buffer), length);
    return std::string(buffer, length);
}

TEST(FormatPositional, NumberedPlaceholders) {
    EXPECT_EQ(Format("%1.%2.%3", {1u, 2u, 3u}), "1.2.3");
    EXPECT_EQ(Format("%2 %1", {"a", "b"}), "b a");
    EXPECT_EQ(Format("%1$05d", {42}), "00042");
    EXPECT_EQ(Format("%1$q", {42}), "42");
    EXPECT_EQ(Format("100%% of %1", {std::string("x")}), "100% of x");
    // Numbers above 9, every digit read (values unlike their numbers), and placeholders
    // directly followed by text.
    EXPECT_EQ(Format("%10-%1d", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), "10-1d");
    EXPECT_EQ(Format("%9|%10|%19|%1$s", {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 114, 115,
                                          116, 117, 118, 119}),
              "109|110|119|101");
    // More digits than arguments: a width for the next sequential argument.
    EXPECT_EQ(Format("[%3d][%2]", {7, 8}), "[  7][8]");
    EXPECT_EQ(Format("%d %d %1", {1, 2}), "1 2 1");
    EXPECT_EQ(Format("", {1}), "");
    EXPECT_EQ(Format("plain"), "plain");
}

TEST(FormatPositional, TypesAndConversions) {
    EXPECT_EQ(Format("%1", {std::numeric_limits<std::int64_t>::min()}), "-9223372036854775808");
    EXPECT_EQ(Format("%1", {std::numeric_limits<std::uint64_t>::max()}), "18446744073709551615");
    EXPECT_EQ(Format("%1$x|%x", {std::int64_t{-1}}), "ffffffffffffffff|ffffffffffffffff");
    EXPECT_EQ(Format("%1$X", {std::uint64_t{0x1234567890ABCDEF}}), "1234567890ABCDEF");
    EXPECT_EQ(Format("%1$x", {-1}), "ffffffff");
    EXPECT_EQ(Format("%c%c", {65, std::int8_t{'B'}}), "AB");
    EXPECT_EQ(Format("%1 %1$d", {std::int8_t{'A'}}), "A 65");
    EXPECT_EQ(Format("%1$lc|%1$05c", {67}), "C|    C");
    EXPECT_EQ(Format("%1", {0.5}), "0.5");
    EXPECT_EQ(Format("%1$.3f %1$d %1$e", {2.5}), "2.500 2.5 2.500000e+00");
    EXPECT_EQ(Format("%1$#x %1$#d %1$+d %1$o", {255}), "0xff 255 +255 377");
    EXPECT_EQ(Format("%1$d", {4294967295u}), "-1");
    EXPECT_EQ(Format("%1 %2", {true, false}), "true false");
    EXPECT_EQ(Format("[%1]", {static_cast<const char*>(nullptr)}), "[]");
    EXPECT_EQ(Format("%1$.2s|%1$-5.2s|%1$5s", {"abcdef"}), "ab|ab   |abcdef");
}

// Directives with nothing but an argument and a conversion skip printf; their digits must
// be printf's own for every type and conversion, the sign and width reinterpretations included.
TEST(FormatPositional, PlainDirectivesPrintWhatPrintfPrints) {
    constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
    constexpr std::uint64_t kUint64Max = std::numeric_limits<std::uint64_t>::max();
    char expected[64];
    struct Case {
        const char* templateText;
        FormatArgument argument;
        std::string printed;
    } cases[] = {
        {"%1$d", 0, "0"},
        {"%1$i", 9, "9"},
        {"%1$d", 10, "10"},
        {"%1$d", -99, "-99"},
        {"%1$d", 100, "100"},
        {"%1$d", kInt32Min, (std::snprintf(expected, sizeof expected, "%d", kInt32Min), expected)},
        {"%1$u", -1, (std::snprintf(expected, sizeof expected, "%u", static_cast<unsigned>(-1)), expected)},
        {"%1$u", std::int8_t{-2}, "4294967294"},
        {"%1$d", kInt64Min, (std::snprintf(expected, sizeof expected, "%lld", static_cast<long long>(kInt64Min)), expected)},
        {"%1$u", std::int64_t{-1}, "18446744073709551615"},
        {"%1$d", kUint64Max, "-1"},
        {"%1$i", std::uint64_t{10000000000000000000u}, "-8446744073709551616"},
        {"%1$u", std::uint64_t{1234567890123456789u}, "1234567890123456789"},
        {"%d", 2147483647u, "2147483647"},
        {"%1$f", 42, "42"},      // not a conversion of integers: the default one
        {"%1$s", -7, "-7"},
        {"%1$x", 255, "ff"},     // plain, but not decimal: through the general path
        {"%1$o", 8, "10"},
        {"%1$c", 65, "A"},
        {"%1$d", 1.25, "1.25"},
        {"%1$E", 1.25, "1.250000E+00"},
        {"%s", std::string_view("a\0b", 3), std::string("a\0b", 3)},
        {"%1$q", "text", "text"},
    };
    for (const Case& c : cases) {
        const std::string text = FormatPositionalString(c.templateText, &c.argument, 1);
        EXPECT_EQ(text, c.printed) << c.templateText;
        // The literal text around a directive is kept, and a cut output stays cut.
        std::string wrapped = std::string("<") + c.templateText + ">";
        EXPECT_EQ(FormatPositionalString(wrapped.c_str(), &c.argument, 1), "<" + c.printed + ">") << wrapped;
        const std::string cut = ("<" + c.printed + ">").substr(0, 3);
        std::vector<char> buffer(4, '#');
        const std::size_t length = FormatPositional(buffer.data(), buffer.size(), wrapped.c_str(), &c.argument, 1);
        EXPECT_EQ(std::string(buffer.data(), length), cut) << wrapped;
        EXPECT_EQ(buffer[length], '\0');
    }
}

TEST(FormatPositional, CallersLengthModifierIsHonouredWithTheMatchingType) {
    EXPECT_EQ(Format("%1$hhx", {0x1234}), "34");
    EXPECT_EQ(Format("%1$hd", {70000}), "4464");
    EXPECT_EQ(Format("%1$hu", {-1}), "65535");
    EXPECT_EQ(Format("%1$ld", {-5}), "-5");
    EXPECT_EQ(Format("%1$lld", {-5}), "-5");
    EXPECT_EQ(Format("%1$zu %1$jd %1$td", {7u}), "7 7 7");
    EXPECT_EQ(Format("%1$Lf %1$lf %1$hf", {1.5}), "1.500000 1.500000 1.500000");
    EXPECT_EQ(Format("%1$Ld", {std::int64_t{-3000000000}}), "-3000000000");
    EXPECT_EQ(Format("%1$ls|%1$hs", {"wide?"}), "wide?|wide?");
    // Conversions outside a type's set fall back to its default: nothing writes through
    // an argument and %s never meets a number.
    EXPECT_EQ(Format("%1$n", {42}), "42");
    EXPECT_EQ(Format("%1$s %1$p", {42}), "42 42");
    EXPECT_EQ(Format("%1$n", {"x"}), "x");
}

TEST(FormatPositional, StarWidthsAndPrecisions) {
    EXPECT_EQ(Format("[%*d]", {5, 42}), "[   42]");
    EXPECT_EQ(Format("[%*d]", {-5, 42}), "[42   ]");
    EXPECT_EQ(Format("[%*.*f]", {8, 2, 3.14159}), "[    3.14]");
    // A precision of zero from an argument is one; only a negative one means none.
    EXPECT_EQ(Format("[%.*f]", {-1, 3.14159}), "[3.141590]");
    EXPECT_EQ(Format("[%.*f]", {0, 2.75}), "[3]");
    EXPECT_EQ(Format("[%1$.*2$f]", {2.75, 0}), "[3]");
    EXPECT_EQ(Format("[%.*s]", {0, "abc"}), "[]");
    EXPECT_EQ(Format("[%1$*2$d]", {42, 6}), "[    42]");
    EXPECT_EQ(Format("[%1$*2$.*3$f]", {1.0, 6, 1}), "[   1.0]");
    EXPECT_EQ(Format("[%*d]", {3.9, 1}), "[  1]");
    // A width that is text, or a missing one, ends the formatting.
    EXPECT_EQ(Format("a%*d|", {"x", 5}), "a");
    EXPECT_EQ(Format("a%1$*3$d|", {5, 6}), "a");
    EXPECT_EQ(Format("a%1$*0$d|", {5, 6}), "a");
    EXPECT_EQ(Format("a%*d|", {5}), "a");
}

TEST(FormatPositional, MalformedAndMissingEndTheFormatting) {
    EXPECT_EQ(Format("abc %9 def"), "abc ");
    EXPECT_EQ(Format("a %d %d b", {1}), "a 1 ");
    // Templates that end inside a directive are read up to their terminator only.
    EXPECT_EQ(Format("abc %1$", {42}), "abc 42");
    EXPECT_EQ(Format("abc %", {42}), "abc 42");
    EXPECT_EQ(Format("abc %"), "abc ");
    EXPECT_EQ(Format("%*", {5}), "");
    EXPECT_EQ(Format("%.", {42}), "42");
    EXPECT_EQ(Format("%l", {42}), "42");
    EXPECT_EQ(Format("%1$-", {42}), "42");
    EXPECT_EQ(FormatPositionalString(nullptr, nullptr, 3), "");
    EXPECT_EQ(FormatPositionalString("a%1b", nullptr, 3), "a");

    // The spec may hold 59 characters ('%' to the conversion), not 60.
    std::string fits = "<%1$" + std::string(57, '-') + "d>";
    std::string tooLong = "<%1$" + std::string(58, '-') + "d>";
    EXPECT_EQ(Format(fits.c_str(), {42}), "<42>");
    EXPECT_EQ(Format(tooLong.c_str(), {42}), "<");
    std::string digits = "<%1$" + std::string(1000, '9') + "d>";
    EXPECT_EQ(Format(digits.c_str(), {42}), "<");
}

TEST(FormatPositional, OutputIsBoundedAndTerminated) {
    EXPECT_EQ(FormatBounded(0, "abc", {}), "");
    EXPECT_EQ(FormatBounded(1, "abc %1", {5}), "");
    EXPECT_EQ(FormatBounded(4, "abcdef", {}), "abc");
    EXPECT_EQ(FormatBounded(4, "%1", {123456}), "123");
    EXPECT_EQ(FormatBounded(4, "%1", {"123456"}), "123");
    EXPECT_EQ(FormatBounded(6, "ab%1$5.2fxyz", {1.0}), "ab 1.");
    EXPECT_EQ(FormatBounded(5, "%%%%%%%%%%", {}), "%%%%");

    std::string longTemplate(10000, 'x');
    std::string result = Format(longTemplate.c_str());
    EXPECT_EQ(result, std::string(kMessageBufferSize - 1, 'x'));

    // Templates that end inside a directive, each in a heap block of exactly its size, so
    // that the sanitizer build sees any read past the terminator.
    const char* templates[] = {"%1$", "%", "%*", "%.", "%l", "%1$*", "%1$.*", "%hh", "%5", "%9", "%10", "%99"};
    for (const char* templateText : templates) {
        std::size_t size = std::strlen(templateText) + 1;
        std::unique_ptr<char[]> exact(new char[size]);
        std::memcpy(exact.get(), templateText, size);
        FormatArgument arguments[] = {7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        char buffer[8];
        std::size_t length = FormatPositional(buffer, sizeof buffer, exact.get(), arguments, 10);
        EXPECT_LT(length, sizeof buffer) << templateText;
        EXPECT_EQ(std::strlen(buffer), length) << templateText;
    }
}

TEST(FormatPositional, HugeWidthsAndPrecisionsAreCutLikeAnyOtherOutput) {
    // The text is what an unbounded printf would give, cut to the buffer.
    EXPECT_EQ(FormatBounded(16, "%1$999999999d", {42}), std::string(15, ' '));
    EXPECT_EQ(FormatBounded(16, "%1$-999999999d", {42}), "42" + std::string(13, ' '));
    EXPECT_EQ(FormatBounded(16, "%1$099999999999999999999d", {-42}), "-" + std::string(14, '0'));
    EXPECT_EQ(FormatBounded(16, "%1$.999999999d", {42}), std::string(15, '0'));
    EXPECT_EQ(FormatBounded(16, "%1$.999999999f", {1.5}), "1.5000000000000");
    EXPECT_EQ(FormatBounded(16, "%1$999999999s", {"abc"}), std::string(15, ' '));
    EXPECT_EQ(FormatBounded(16, "%*d", {std::numeric_limits<std::int32_t>::max(), 1}), std::string(15, ' '));
    EXPECT_EQ(FormatBounded(16, "%*d", {std::numeric_limits<std::int32_t>::min(), 1}), "1" + std::string(14, ' '));
    EXPECT_EQ(FormatBounded(16, "%*d", {std::numeric_limits<std::uint64_t>::max(), 1}), std::string(15, ' '));
    EXPECT_EQ(FormatBounded(16, "%.*f", {1e300, 0.0}), "0.0000000000000");
    // A width just over the space left still shows the value's first characters when
    // left-justified, and its padding first when right-justified.
    EXPECT_EQ(FormatBounded(8, "%1$-10sz", {"abcdefghij"}), "abcdefg");
    EXPECT_EQ(FormatBounded(8, "%1$12s", {"abcdefghij"}), "  abcde");
    EXPECT_EQ(FormatBounded(8, "%1$12.3e", {1234.5}), "   1.23");

    // A width of more than a mebibyte in a buffer that holds it: a number takes its
    // whole width as a text does, and the template goes on after both.
    const std::size_t mebibyte = std::size_t{1} << 20;
    std::vector<char> big(5 * mebibyte);
    const auto wide = [&](const char* templateText, std::initializer_list<FormatArgument> arguments) {
        const std::size_t length = FormatPositional(big.data(), big.size(), templateText, arguments.begin(),
                                                    arguments.size());
        return std::string(big.data(), length);
    };
    EXPECT_EQ(wide("%1$2000000dEND", {7}), std::string(1999999, ' ') + "7END");
    EXPECT_EQ(wide("%1$2000000sEND", {"7"}), std::string(1999999, ' ') + "7END");
    EXPECT_EQ(wide("%1$-2000000dEND", {7}), "7" + std::string(1999999, ' ') + "END");
    EXPECT_EQ(wide("%1$-2000000sEND", {"7"}), "7" + std::string(1999999, ' ') + "END");
    EXPECT_EQ(wide("%1$02000000d|", {-42}), "-" + std::string(1999997, '0') + "42|");
    EXPECT_EQ(wide("%1$#02000000x|", {255u}), "0x" + std::string(1999996, '0') + "ff|");
    EXPECT_EQ(wide("%1$02000000.3d|", {5}), std::string(1999997, ' ') + "005|");
    EXPECT_EQ(wide("%1$+2000000.1f|", {2.25}), std::string(1999996, ' ') + "+2.2|");
    // Wider than the buffer: cut like any other output, padding first.
    const std::string cut = wide("%1$9999999d", {42});
    EXPECT_EQ(cut, std::string(big.size() - 1, ' '));
}

TEST(FormatPositional, FormattingIntoABufferAllocatesNothing) {
    FormatArgument arguments[] = {1, std::int64_t{-2}, 3.5, "text", std::uint64_t{7}};
    char buffer[kMessageBufferSize];
    Memory::AllocationCounters before = Memory::ReadCounters();
    std::size_t length = FormatPositional(buffer, sizeof buffer, "%1 %2$x %3$10.4e %4$-8s|%5 %*d", arguments, 5);
    Memory::AllocationCounters after = Memory::ReadCounters();
    EXPECT_EQ(after.allocationCount, before.allocationCount);
    EXPECT_EQ(std::string(buffer, length), "1 fffffffffffffffe 3.5000e+00 text    |7 -2");
}

}  // namespace
}  // namespace Kesh
