// FormatPrintf at its edges: no room at all, a precision of zero, "%n".
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "log/PrintfFormat.h"

namespace Kesh {
namespace {

std::size_t Printf(char* buffer, std::size_t size, const char* format, ...) PZL_PRINTF_FORMAT(3, 4);
std::size_t Printf(char* buffer, std::size_t size, const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    const std::size_t length = FormatPrintf(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}

TEST(PrintfBoundaries, NoBufferOrNoSizeWritesNothing) {
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(Printf(nullptr, 16, "%d", 12), 0u);
    EXPECT_EQ(Printf(buffer, 0, "%d", 12), 0u);
    EXPECT_EQ(buffer[0], '#');
}

TEST(PrintfBoundaries, ZeroPrecisionAndCountDirective) {
    char buffer[64];
    std::size_t length = Printf(buffer, sizeof buffer, "%.0f|%.f|%.0s|%.0d|", 2.75, 2.75, "abc", 0);
    EXPECT_EQ(std::string(buffer, length), "3|3|||");
    // "%n" consumes its pointer, nothing else, and is never written through.
    int count = -1;
    length = Printf(buffer, sizeof buffer, "a%nb%.1f|%d", &count, 2.5, 7);
    EXPECT_EQ(std::string(buffer, length), "ab2.5|7");
    EXPECT_EQ(count, -1);
}

}  // namespace
}  // namespace Kesh
