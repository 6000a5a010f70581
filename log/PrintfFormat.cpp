#include "log/PrintfFormat.h"

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <type_traits>

namespace Kesh {

std::size_t UseDotDecimalPoint(char* text, std::size_t length) {
    const std::lconv* conventions = std::localeconv();
    const char* point = conventions != nullptr ? conventions->decimal_point : nullptr;
    if (point == nullptr || point[0] == '\0' || std::strcmp(point, ".") == 0) {
        return length;
    }
    const std::size_t pointLength = std::strlen(point);
    for (std::size_t i = 0; i + pointLength <= length; ++i) {
        if (std::memcmp(text + i, point, pointLength) == 0) {
            text[i] = '.';
            std::memmove(text + i + 1, text + i + pointLength, length - i - pointLength);
            return length - (pointLength - 1);
        }
    }
    return length;
}

namespace {

enum class Length { None, Hh, H, L, Ll, J, Z, T, LongDouble };

bool IsFloatingConversion(char c) { return std::strchr("eEfFgGaA", c) != nullptr; }

// A bounded writer over the caller's buffer; capacity excludes the terminator.
class Output {
public:
    Output(char* buffer, std::size_t size) : buffer_(buffer), capacity_(size - 1) {}
    bool Full() const { return length_ == capacity_; }
    void Append(const char* text, std::size_t count) {
        const std::size_t taken = count < capacity_ - length_ ? count : capacity_ - length_;
        std::memcpy(buffer_ + length_, text, taken);
        length_ += taken;
    }
    // One directive's value, printed by snprintf under its own small format.
    template <typename T>
    void Print(const char* format, T value, bool floating) {
        const std::size_t space = capacity_ - length_;
        const int produced = std::snprintf(buffer_ + length_, space + 1, format, value);
        if (produced < 0) {
            return;
        }
        std::size_t written = static_cast<std::size_t>(produced) < space ? static_cast<std::size_t>(produced) : space;
        if (floating) {
            written = UseDotDecimalPoint(buffer_ + length_, written);
        }
        length_ += written;
    }
    std::size_t Finish() {
        buffer_[length_] = '\0';
        return length_;
    }

private:
    char* buffer_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

void AppendNumber(char*& cursor, long long value) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0) {
        *cursor++ = digits[--count];
    }
}

}  // namespace

std::size_t FormatPrintf(char* buffer, std::size_t size, const char* format, std::va_list arguments) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    Output out(buffer, size);
    if (format == nullptr) {
        return out.Finish();
    }
    // Arguments by position ("%1$d") cannot be read one directive at a time: such a
    // format goes to vsnprintf whole.
    for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p + 1, '%')) {
        const char* q = p + 1;
        while (*q >= '0' && *q <= '9') {
            ++q;
        }
        if (q != p + 1 && *q == '$') {
            const int produced = std::vsnprintf(buffer, size, format, arguments);
            if (produced < 0) {
                buffer[0] = '\0';
                return 0;
            }
            return static_cast<std::size_t>(produced) < size ? static_cast<std::size_t>(produced) : size - 1;
        }
    }

    const char* p = format;
    while (*p != '\0' && !out.Full()) {
        if (*p != '%') {
            const char* next = std::strchr(p, '%');
            const std::size_t run = next != nullptr ? static_cast<std::size_t>(next - p) : std::strlen(p);
            out.Append(p, run);
            p += run;
            continue;
        }
        if (p[1] == '%') {
            out.Append("%", 1);
            p += 2;
            continue;
        }
        // '%', flags, width, '.', precision, two length letters, conversion, NUL.
        char spec[8 + 24 + 24 + 4];
        char* cursor = spec;
        *cursor++ = '%';
        ++p;
        bool leftFromWidth = false;
        char flags[8];
        std::size_t flagCount = 0;
        while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) {
            if (flagCount < sizeof flags && std::memchr(flags, *p, flagCount) == nullptr) {
                flags[flagCount++] = *p;
            }
            ++p;
        }
        long long width = -1;
        if (*p == '*') {
            width = va_arg(arguments, int);
            if (width < 0) {
                leftFromWidth = true;
                width = -width;
            }
            ++p;
        } else {
            for (; *p >= '0' && *p <= '9'; ++p) {
                width = (width < 0 ? 0 : width) * 10 + (*p - '0');
                if (width > 0x7fffffff) {
                    width = 0x7fffffff;
                }
            }
        }
        long long precision = -1;
        if (*p == '.') {
            ++p;
            precision = 0;
            if (*p == '*') {
                precision = va_arg(arguments, int);
                ++p;
            } else {
                for (; *p >= '0' && *p <= '9'; ++p) {
                    precision = precision * 10 + (*p - '0');
                    if (precision > 0x7fffffff) {
                        precision = 0x7fffffff;
                    }
                }
            }
        }
        Length length = Length::None;
        const char* lengthText = "";
        if (p[0] == 'h' && p[1] == 'h') { length = Length::Hh; lengthText = "hh"; p += 2; }
        else if (p[0] == 'h') { length = Length::H; lengthText = "h"; ++p; }
        else if (p[0] == 'l' && p[1] == 'l') { length = Length::Ll; lengthText = "ll"; p += 2; }
        else if (p[0] == 'l') { length = Length::L; lengthText = "l"; ++p; }
        else if (p[0] == 'j') { length = Length::J; lengthText = "j"; ++p; }
        else if (p[0] == 'z') { length = Length::Z; lengthText = "z"; ++p; }
        else if (p[0] == 't') { length = Length::T; lengthText = "t"; ++p; }
        else if (p[0] == 'L') { length = Length::LongDouble; lengthText = "L"; ++p; }
        const char conversion = *p;
        if (conversion == '\0') {
            break;  // the format ends inside a directive
        }
        ++p;

        std::memcpy(cursor, flags, flagCount);
        cursor += flagCount;
        if (leftFromWidth && std::memchr(flags, '-', flagCount) == nullptr) {
            *cursor++ = '-';
        }
        if (width >= 0) {
            AppendNumber(cursor, width);
        }
        if (precision >= 0) {
            *cursor++ = '.';
            AppendNumber(cursor, precision);
        }
        const bool floating = IsFloatingConversion(conversion);
        if (!floating || length == Length::LongDouble) {
            for (const char* l = lengthText; *l != '\0'; ++l) {
                *cursor++ = *l;
            }
        }
        *cursor++ = conversion;
        *cursor = '\0';

        switch (conversion) {
        case 'd':
        case 'i':
            switch (length) {
            case Length::L: out.Print(spec, va_arg(arguments, long), false); break;
            case Length::Ll: out.Print(spec, va_arg(arguments, long long), false); break;
            case Length::J: out.Print(spec, va_arg(arguments, std::intmax_t), false); break;
            case Length::Z: out.Print(spec, va_arg(arguments, std::make_signed_t<std::size_t>), false); break;
            case Length::T: out.Print(spec, va_arg(arguments, std::ptrdiff_t), false); break;
            default: out.Print(spec, va_arg(arguments, int), false); break;
            }
            break;
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            switch (length) {
            case Length::L: out.Print(spec, va_arg(arguments, unsigned long), false); break;
            case Length::Ll: out.Print(spec, va_arg(arguments, unsigned long long), false); break;
            case Length::J: out.Print(spec, va_arg(arguments, std::uintmax_t), false); break;
            case Length::Z: out.Print(spec, va_arg(arguments, std::size_t), false); break;
            case Length::T: out.Print(spec, va_arg(arguments, std::make_unsigned_t<std::ptrdiff_t>), false); break;
            default: out.Print(spec, va_arg(arguments, unsigned), false); break;
            }
            break;
        case 'c':
            if (length == Length::L) {
                // Where wint_t is narrower than int (Windows) the argument arrives promoted.
                using PassedWint = std::conditional_t<(sizeof(std::wint_t) < sizeof(int)), int, std::wint_t>;
                out.Print(spec, static_cast<std::wint_t>(va_arg(arguments, PassedWint)), false);
            } else {
                out.Print(spec, va_arg(arguments, int), false);
            }
            break;
        case 's':
            if (length == Length::L) {
                const wchar_t* text = va_arg(arguments, const wchar_t*);
                out.Print(spec, text != nullptr ? text : L"(null)", false);
            } else {
                const char* text = va_arg(arguments, const char*);
                out.Print(spec, text != nullptr ? text : "(null)", false);
            }
            break;
        case 'p': out.Print(spec, va_arg(arguments, void*), false); break;
        case 'n': (void)va_arg(arguments, void*); break;  // never written through
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (length == Length::LongDouble) {
                out.Print(spec, va_arg(arguments, long double), true);
            } else {
                out.Print(spec, va_arg(arguments, double), true);
            }
            break;
        default:
            // Not a conversion printf knows: its argument is unknown, so nothing after it
            // can be read safely.
            return out.Finish();
        }
    }
    return out.Finish();
}

}  // namespace Kesh
