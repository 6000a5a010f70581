#include <gtest/gtest.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "log/FormatPositional.h"
#include "log/FormatStructured.h"
#include "log/Log.h"
#include "log/PrintfFormat.h"
#include "tests/log/LogFixture.h"
#include "tests/support/CommaLocale.h"

namespace Kesh::Testing {
namespace {

std::string Printf(const char* format, ...) PZL_PRINTF_FORMAT(1, 2);
std::string Printf(const char* format, ...) {
    char buffer[256];
    std::va_list arguments;
    va_start(arguments, format);
    const std::size_t length = FormatPrintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    EXPECT_EQ(buffer[length], '\0');
    return std::string(buffer, length);
}

std::size_t PrintfInto(char* buffer, std::size_t size, const char* format, ...) PZL_PRINTF_FORMAT(3, 4);
std::size_t PrintfInto(char* buffer, std::size_t size, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::size_t length = FormatPrintf(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}

std::string Reference(const char* format, ...) PZL_PRINTF_FORMAT(1, 2);
std::string Reference(const char* format, ...) {
    char buffer[256];
    std::va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    return buffer;
}

// In the C locale the log call's printf reads every directive as the C library does.
TEST(FormatPrintf, MatchesTheLibrarysPrintfInTheCLocale) {
    const long long big = -9000000000LL;
    const unsigned long long ubig = 18000000000000000000ULL;
    EXPECT_EQ(Printf("a %d b %5i|%-5d|%05d|%+d|% d", 1, 2, 3, -4, 5, 6),
              Reference("a %d b %5i|%-5d|%05d|%+d|% d", 1, 2, 3, -4, 5, 6));
    EXPECT_EQ(Printf("%lld %llu %#llx %lo %zu %td %jd", big, ubig, ubig, 8ul, std::size_t{9}, std::ptrdiff_t{-3},
                     std::intmax_t{-7}),
              Reference("%lld %llu %#llx %lo %zu %td %jd", big, ubig, ubig, 8ul, std::size_t{9}, std::ptrdiff_t{-3},
                        std::intmax_t{-7}));
    EXPECT_EQ(Printf("%hhd %hu %c|%-3c|%lc|%d", 300, 70000, 'x', 'y', static_cast<std::wint_t>('w'), 5),
              "44 4464 x|y  |w|5");
    // Each unsigned length takes its own argument, and only that one.
    EXPECT_EQ(Printf("%ju|%zx|%tu|%lu|%llo|%u", std::uintmax_t{ubig}, std::size_t{255}, std::ptrdiff_t{5}, 6ul, 8ull, 9u),
              Reference("%ju|%zx|%tu|%lu|%llo|%u", std::uintmax_t{ubig}, std::size_t{255}, std::ptrdiff_t{5}, 6ul, 8ull,
                        9u));
    // Flags repeated beyond what a directive can hold keep each flag once (not literals,
    // so that the compiler lets the repetitions through).
    const char* repeated = "%------------+ #05d|%0000000000-3d|";
    const char* once = "%-+ #05d|%0-3d|";
    EXPECT_EQ(Printf(repeated, 7, 8), Reference(once, 7, 8));
    EXPECT_EQ(Printf("%*d|%-*d|%*d|%.*f|%.*s", 6, 42, 4, 7, -4, 7, 2, 3.14159, 3, "abcdef"),
              Reference("%*d|%-*d|%*d|%.*f|%.*s", 6, 42, 4, 7, -4, 7, 2, 3.14159, 3, "abcdef"));
    EXPECT_EQ(Printf("%g %e %.3f %10.2E %a %G %Lf", 0.5, 1.5, 2.25, 12345.678, 1.0, 1e-10, 2.5L),
              Reference("%g %e %.3f %10.2E %a %G %Lf", 0.5, 1.5, 2.25, 12345.678, 1.0, 1e-10, 2.5L));
    EXPECT_EQ(Printf("%s|%10s|%-10s|%.2s|%%|%p", "text", "right", "left", "cut", static_cast<void*>(nullptr)),
              Reference("%s|%10s|%-10s|%.2s|%%|%p", "text", "right", "left", "cut", static_cast<void*>(nullptr)));
#if !defined(_WIN32)
    // Numbered arguments go to the C library's own printf, and Windows' has none.
    EXPECT_EQ(Printf("%2$s %1$s", "world", "hello"), "hello world");
#endif
    // A precision of zero is one; "%n" consumes its pointer and is never written through.
    EXPECT_EQ(Printf("%.0f|%.f|%.0s|%.0d|", 2.75, 2.75, "abc", 0), "3|3|||");
    int count = -1;
    EXPECT_EQ(Printf("a%nb%.1f|%d", &count, 2.5, 7), "ab2.5|7");
    EXPECT_EQ(count, -1);
    // A format that ends inside a directive keeps what came before it.
    const char* unfinished = "kept %";  // not a literal, so the compiler lets it through
    EXPECT_EQ(Printf(unfinished, 1), "kept ");
}

TEST(FormatPrintf, BoundedAndTerminated) {
    char buffer[8];
    auto format = [&](std::size_t size, const char* text, ...) {
        std::va_list arguments;
        va_start(arguments, text);
        const std::size_t length = FormatPrintf(buffer, size, text, arguments);
        va_end(arguments);
        return std::string(buffer, length);
    };
    EXPECT_EQ(format(8, "%s", "abcdefghij"), "abcdefg");
    EXPECT_EQ(format(8, "ab%dcdefgh", 123), "ab123cd");
    EXPECT_EQ(format(8, "%f", 1.5), "1.50000");
    EXPECT_EQ(format(1, "%s", "x"), "");
    // No buffer or no room: nothing is written, not even a terminator.
    buffer[0] = '#';
    EXPECT_EQ(PrintfInto(nullptr, 16, "%d", 12), 0u);
    EXPECT_EQ(PrintfInto(buffer, 0, "%d", 12), 0u);
    EXPECT_EQ(buffer[0], '#');
}

TEST_F(LogTest, NumbersUseADotWhateverTheProcessLocale) {
    CommaLocale locale;
    PZL_REQUIRE_COMMA_LOCALE(locale);
    char check[16];
    std::snprintf(check, sizeof check, "%.2f", 1.25);
    ASSERT_STREQ(check, "1,25");  // the locale is really in force

    DetachConsoles();
    RecordingTarget target;
    Configure(target, 0, 0, 0, "#M");
    Log(1, 0, "%.2f %g %e %8.3f|%s %d", 1.25, 0.5, 1.5, -2.5, "1,5", 3);
    ASSERT_EQ(target.messages.size(), 1u);
    EXPECT_EQ(target.messages[0], "1.25 0.5 1.500000e+00   -2.500|1,5 3");

    EXPECT_EQ(FormatPositionalString("%1 %2$.3f %3$10.1e|", {1.25, 2.5, -1e10}), "1.25 2.500   -1.0e+10|");
    EXPECT_EQ(FormatStructuredMessage("{d} {x:.1f}", {0.25, 7.75}).text, "0.25 7.8");
}

}  // namespace
}  // namespace Kesh::Testing
