#include "log/LineFormat.h"

#include <cstdio>

#include "log/CategoryGroups.h"
#include "log/HighResolutionClock.h"
#include "log/LogLevel.h"
#include "log/TimeFormat.h"
#include "platform/Process.h"

namespace Kesh {
namespace {

// Appends to a fixed buffer, always leaving room for the closing line feed and the
// terminator.
class LineWriter {
public:
    LineWriter(char* buffer, std::size_t size) : buffer_(buffer), size_(size) {}

    void Put(char c) {
        if (size_ - length_ > 2) {
            buffer_[length_++] = c;
        }
    }
    void Put(const char* text) {
        for (; text != nullptr && *text != '\0' && size_ - length_ > 2; ++text) {
            buffer_[length_++] = *text;
        }
    }
    std::size_t Finish() {
        if (length_ == 0 || buffer_[length_ - 1] != '\n') {
            buffer_[length_++] = '\n';
        }
        buffer_[length_] = '\0';
        return length_;
    }

private:
    char* buffer_;
    std::size_t size_;
    std::size_t length_ = 0;
};

void PutCode(LineWriter& out, char code, const LogRecord& record, const char* executableName) {
    char field[128];
    switch (code) {
    case 'D':
        FormatTimestamp(Platform::LocalTime(record.time), field, sizeof field);
        out.Put(field);
        break;
    case 'E':
        out.Put(executableName);
        break;
    case 'G': {
        // Every group of a full mask: 64 names of three characters and 63 separators.
        char groups[kMaxCategoryGroups * 4];
        CategoryGroupNames(record.categoryMask, groups, sizeof groups);
        out.Put(groups);
        break;
    }
    case 'H': {
        const double seconds = SecondsSinceFirstUse();
        const long long whole = static_cast<long long>(seconds);
        const int milliseconds = static_cast<int>((seconds - static_cast<double>(whole)) * 1000.0) % 1000;
        std::snprintf(field, sizeof field, "%06lld.%03d", whole, milliseconds);
        out.Put(field);
        break;
    }
    case 'L':
        out.Put(LevelText(record.level));
        break;
    case 'M':
        out.Put(record.message);
        break;
    case 'T':
        std::snprintf(field, sizeof field, "%p", reinterpret_cast<void*>(Platform::CurrentThreadId()));
        out.Put(field);
        break;
    default:
        out.Put(code);
        break;
    }
}

}  // namespace

std::size_t FormatLine(const LogRecord& record, const char* format, const char* executableName,
                       char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (size == 1) {
        buffer[0] = '\0';
        return 0;
    }
    LineWriter out(buffer, size);
    for (const char* p = format; p != nullptr && *p != '\0'; ++p) {
        if (*p != '#') {
            out.Put(*p);
            continue;
        }
        if (p[1] == '\0') {
            break;  // a lone "#" at the end expands to nothing
        }
        PutCode(out, *++p, record, executableName);
    }
    return out.Finish();
}

}  // namespace Kesh
