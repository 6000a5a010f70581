#include "binding/NumberText.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace Kesh {
namespace {

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c, bool hex) {
    return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// For a number that does not fit: whether its magnitude is too large (rather than too
// small), from the position of its first significant digit and its exponent.
bool TooLarge(const char* begin, const char* end, bool hex) {
    long long scale = 0;  // digits of the first significant one before the point, or minus the zeros after it
    bool seenPoint = false;
    bool significant = false;
    const char* p = begin;
    for (; p != end && (IsDigit(*p, hex) || *p == '.'); ++p) {
        if (*p == '.') {
            seenPoint = true;
        } else if (!significant && *p != '0') {
            significant = true;
            if (!seenPoint) ++scale;
        } else if (significant && !seenPoint) {
            ++scale;
        } else if (!significant && seenPoint) {
            --scale;
        }
    }
    long long exponent = 0;
    if (p != end && (*p == 'e' || *p == 'E' || *p == 'p' || *p == 'P')) {
        ++p;
        const bool negative = p != end && *p == '-';
        if (p != end && (*p == '-' || *p == '+')) ++p;
        for (; p != end && *p >= '0' && *p <= '9'; ++p) {
            if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
        }
        if (negative) exponent = -exponent;
    }
    // A hexadecimal digit is four binary places; the exponent counts binary places.
    return (hex ? scale * 4 : scale) + exponent > 0;
}

}  // namespace

double ParseDouble(const char* text, char** end) noexcept {
    if (end != nullptr) *end = const_cast<char*>(text);
    if (text == nullptr) return 0.0;
    const char* p = text;
    while (IsCSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p == '+' || *p == '-') return 0.0;  // from_chars would take a second sign
    const char* last = p + std::strlen(p);
    bool hex = false;
    const char* digits = p;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && (IsDigit(p[2], true) || (p[2] == '.' && IsDigit(p[3], true)))) {
        hex = true;
        digits = p + 2;
    }
    double value = 0.0;
    const std::from_chars_result parsed = std::from_chars(
        digits, last, value, hex ? std::chars_format::hex : std::chars_format::general);
    if (parsed.ec == std::errc::invalid_argument || parsed.ptr == digits) return 0.0;
    if (parsed.ec == std::errc::result_out_of_range) {
        value = TooLarge(digits, parsed.ptr, hex) ? HUGE_VAL : 0.0;
        errno = ERANGE;
    } else if (value != 0.0 && std::fabs(value) < std::numeric_limits<double>::min()) {
        errno = ERANGE;  // as strtod does for a subnormal result
    }
    if (end != nullptr) *end = const_cast<char*>(parsed.ptr);
    return negative ? -value : value;
}

}  // namespace Kesh
