#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "log/HighResolutionClock.h"
#include "log/LineFormat.h"
#include "log/TimeFormat.h"
#include "platform/Process.h"

namespace Kesh {
namespace {

LogRecord Record(const char* message, std::int32_t level = 2, std::uint64_t mask = 3) {
    return LogRecord{{2026, 12, 6, 9, 5, 7, 42}, level, mask, message};
}

std::string Line(const char* format, const LogRecord& record, std::size_t size = 4096) {
    std::string buffer(size, '\x7f');
    const std::size_t length = FormatLine(record, format, "host.exe", buffer.data(), size);
    EXPECT_EQ(buffer[length], '\0');
    return buffer.substr(0, length);
}

TEST(LineFormat, Codes) {
    const LogRecord record = Record("hello");
    EXPECT_EQ(Line("#D| #L| #G| #M", record), "2026-12-06T09:05:07.042|  ERROR| DBG;GEN| hello\n");
    EXPECT_EQ(Line("#E: #M", record), "host.exe: hello\n");
    EXPECT_EQ(Line("## #Q #", record), "# Q \n");
    EXPECT_EQ(Line("[#L]", Record("x", 7)), "[]\n");
    EXPECT_EQ(Line("#L", Record("x", 3)), "ALWAYS\n");
    EXPECT_EQ(Line("#G|", Record("x", 0, 0)), "|\n");

    char thread[32];
    std::snprintf(thread, sizeof thread, "%p", reinterpret_cast<void*>(Platform::CurrentThreadId()));
    EXPECT_EQ(Line("#T", record), std::string(thread) + "\n");

    // #H: whole seconds padded to six digits, a dot, three digits of milliseconds.
    SecondsSinceFirstUse();
    const std::string clock = Line("#H", record);
    ASSERT_EQ(clock.size(), 11u);
    EXPECT_EQ(clock[6], '.');
    EXPECT_EQ(clock.substr(0, 4), "0000");
}

TEST(LineFormat, ExactlyOneLineFeed) {
    EXPECT_EQ(Line("#M", Record("ends in a line feed\n")), "ends in a line feed\n");
    EXPECT_EQ(Line("#M", Record("two\n\n")), "two\n\n");
    EXPECT_EQ(Line("#M", Record("")), "\n");
    EXPECT_EQ(Line("", Record("ignored")), "\n");
}

TEST(LineFormat, BoundedByTheBuffer) {
    const std::string longMessage(10000, 'm');
    const std::string line = Line("#D #M", Record(longMessage.c_str()), 4096);
    EXPECT_EQ(line.size(), 4095u);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(Line("#M", Record("abcdef"), 4), "ab\n");
    EXPECT_EQ(Line("#M", Record("abcdef"), 2), "\n");
    char one = 'x';
    EXPECT_EQ(FormatLine(Record("abc"), "#M", "", &one, 1), 0u);
    EXPECT_EQ(one, '\0');
}

TEST(TimeFormat, BothForms) {
    const Platform::LocalTime time{2026, 1, 2, 3, 4, 5, 6};
    char buffer[64];
    EXPECT_EQ(FormatTimestamp(time, buffer, sizeof buffer), 23u);
    EXPECT_STREQ(buffer, "2026-01-02T03:04:05.006");
    EXPECT_EQ(FormatFileTimestamp(time, buffer, sizeof buffer), 19u);
    EXPECT_STREQ(buffer, "2026-01-02T03-04-05");
    EXPECT_EQ(FormatTimestamp(time, buffer, 5), 4u);
    EXPECT_STREQ(buffer, "2026");
}

}  // namespace
}  // namespace Kesh
