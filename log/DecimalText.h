#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Kesh {

// The longest decimal text of a 64-bit value: 20 digits and a sign.
inline constexpr std::size_t kMaxDecimalLength = 21;

// Writes the decimal digits of value so that they end just before end, two digits at a
// time from a table; returns where they start. Used where a number is printed plainly
// (no flags, width or precision), with the digits printf's "%u" would give.
inline char* WriteDecimalBackwards(char* end, std::uint64_t value) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    while (value >= 100) {
        const std::size_t pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        end -= 2;
        std::memcpy(end, kPairs + pair, 2);
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, kPairs + static_cast<std::size_t>(value) * 2, 2);
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

// The same for a signed value, "-" first when negative (the most negative value too).
inline char* WriteSignedDecimalBackwards(char* end, std::int64_t value) {
    if (value >= 0) {
        return WriteDecimalBackwards(end, static_cast<std::uint64_t>(value));
    }
    char* start = WriteDecimalBackwards(end, std::uint64_t{0} - static_cast<std::uint64_t>(value));
    *--start = '-';
    return start;
}

}  // namespace Kesh
