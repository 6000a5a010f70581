#include "formats/YamlScalar.h"

#include <array>
#include <bit>
#include <charconv>
#include <cfloat>
#include <cmath>
#include <iterator>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "binding/NumberAssign.h"
#include "binding/TreeBuilding.h"
#include "binding/NumberText.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

constexpr std::array<std::string_view, 5> kNullWords{"", "~", "null", "Null", "NULL"};
constexpr std::array<std::string_view, 11> kTrueWords{"true", "True", "TRUE", "y",  "Y", "yes",
                                                      "Yes",  "YES",  "on",   "On", "ON"};
constexpr std::array<std::string_view, 11> kFalseWords{"false", "False", "FALSE", "n",   "N", "no",
                                                       "No",    "NO",    "off",   "Off", "OFF"};

template <std::size_t N>
bool IsOneOf(std::string_view text, const std::array<std::string_view, N>& words) {
    for (std::string_view word : words) {
        if (text == word) return true;
    }
    return false;
}

bool ReadBoolWord(std::string_view text, bool& value) {
    if (IsOneOf(text, kTrueWords)) {
        value = true;
        return true;
    }
    if (IsOneOf(text, kFalseWords)) {
        value = false;
        return true;
    }
    return false;
}

enum class IntegerText { No, Assigned, TooLarge };

// Integer texts (decimal, or hexadecimal with 0x) that fit 64 bits are read exactly:
// through a double, anything beyond 2^53 would lose its low digits. Larger ones are
// left to the double, as Floats.
IntegerText AssignExactInteger(BindingProperty& target, std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return IntegerText::No;
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (end != text.data() + text.size()) return IntegerText::No;
    if (error == std::errc::result_out_of_range) return IntegerText::TooLarge;
    if (error != std::errc()) return IntegerText::No;

    constexpr std::uint64_t kLowestMagnitude = std::uint64_t{1} << 63;
    if (!negative || magnitude == 0) {
        target.AssignUnsigned(magnitude);  // -0 is 0, as through the double
    } else if (magnitude < kLowestMagnitude) {
        target.AssignSigned(-static_cast<std::int64_t>(magnitude));
    } else if (magnitude == kLowestMagnitude) {
        target.AssignSigned(std::numeric_limits<std::int64_t>::min());
    } else {
        return IntegerText::TooLarge;
    }
    return IntegerText::Assigned;
}

// A plain scalar is a number when the whole text reads as a finite double.
bool AssignNumber(BindingProperty& target, std::string_view text) {
    if (text.empty()) return false;
    const char first = text[0];
    // Every number text starts so; this keeps the words away from the parser.
    if (!(first >= '0' && first <= '9') && first != '-' && first != '+' && first != '.') return false;
    const IntegerText integer = AssignExactInteger(target, text);
    if (integer == IntegerText::Assigned) return true;

    // The parser needs a terminated text; a NUL inside the text must end the number early.
    // Short texts (all but the oddest numbers) are copied without touching the heap.
    char shortCopy[64];
    std::string longCopy;
    const char* terminated = shortCopy;
    if (text.size() < sizeof shortCopy) {
        text.copy(shortCopy, text.size());
        shortCopy[text.size()] = '\0';
    } else {
        longCopy.assign(text);
        terminated = longCopy.c_str();
    }
    char* end = nullptr;
    const double value = ParseDouble(terminated, &end);
    if (end != terminated + text.size() || !std::isfinite(value)) return false;

    constexpr double kTwoTo63 = 9223372036854775808.0;
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (integer == IntegerText::TooLarge || value != std::trunc(value)) {
        target = value;
    } else if (value < 0) {
        if (value >= -kTwoTo63) {
            target.AssignSigned(static_cast<std::int64_t>(value));
        } else {
            target = value;  // integral, but beyond 64 bits: kept as a Float
        }
    } else if (value < kTwoTo64) {
        target.AssignUnsigned(static_cast<std::uint64_t>(value));
    } else {
        target = value;
    }
    return true;
}

bool AssignTaggedNumber(ConversionResult& result, BindingProperty& target, std::string_view tag,
                        std::string_view text, BindingProperty& scratch) {
    scratch.AssignString(text);
    ConversionResult conversion;
    if (tag == kYamlFloatTag) {
        double value = 0.0;
        if (AssignFloating(conversion, value, scratch, "yaml", -std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::max(), "double")) {
            target = value;
            return true;
        }
    } else if (!text.empty() && text[0] == '-') {
        std::int64_t value = 0;
        if (AssignSigned(conversion, value, scratch, "yaml", std::numeric_limits<std::int64_t>::min(),
                         std::numeric_limits<std::int64_t>::max(), "int64_t")) {
            target.AssignSigned(value);
            return true;
        }
    } else {
        std::uint64_t value = 0;
        if (AssignUnsigned(conversion, value, scratch, "yaml", std::numeric_limits<std::uint64_t>::max(),
                           "uint64_t")) {
            target.AssignUnsigned(value);
            return true;
        }
    }
    result.SetError(conversion.ErrorMessage());
    return false;
}

}  // namespace

void AssignPlainYamlScalar(BindingProperty& target, std::string_view text) {
    bool flag = false;
    if (IsOneOf(text, kNullWords)) {
        target.Clear();
    } else if (AssignNumber(target, text)) {
    } else if (ReadBoolWord(text, flag)) {
        target = flag;
    } else {
        target.AssignString(text);
    }
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether all eight bytes of word are decimal digits: a digit's high half is 3, and
// adding 6 keeps it 3.
inline bool AllDigits(std::uint64_t word) {
    constexpr std::uint64_t kHighHalves = 0xF0F0F0F0F0F0F0F0ull;
    return ((word & kHighHalves) | (((word + 0x0606060606060606ull) & kHighHalves) >> 4)) == 0x3333333333333333ull;
}

// The value of eight digit bytes, the first byte (the low one) the most significant
// digit: digit values, then pairs, fours and all eight combined.
inline std::uint32_t EightDigits(std::uint64_t word) {
    word -= 0x3030303030303030ull;
    word = word * 10 + (word >> 8);
    constexpr std::uint64_t kLowBytes = 0x000000FF000000FFull;
    word = ((word & kLowBytes) * (100 + (1000000ull << 32)) + ((word >> 16) & kLowBytes) * (1 + (10000ull << 32))) >> 32;
    return static_cast<std::uint32_t>(word);
}

constexpr std::uint64_t kDecimalUnits[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Reads the run of decimal digits at p (in the text that starts at begin) into mantissa
// (times ten per digit, wrapping past 19 digits) and returns where it ends. Ids,
// timestamps and coordinates are long runs, so on little-endian machines eight digits at
// a time are checked and added with a few multiplications on one 64-bit word instead of
// a step per digit.
[[gnu::always_inline]] inline const char* ReadDigits(const char* begin, const char* p, const char* end,
                                                     std::uint64_t& mantissa) {
    if constexpr (std::endian::native == std::endian::little) {
        while (end - p >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p, 8);
            if (!AllDigits(word)) break;
            mantissa = mantissa * 100000000 + EightDigits(word);
            p += 8;
        }
        // Four to seven bytes left: numbers mostly end in digits, so the last eight bytes
        // of the text are read as one word, with the ones before p made '0's (leading
        // zeros); anything else, and fewer bytes, is left to the loop below.
        if (end - p >= 4 && end - p < 8 && end - begin >= 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, end - 8, 8);
            const auto left = static_cast<unsigned>(end - p);
            const std::uint64_t before = ~std::uint64_t{0} >> (8 * left);
            word = (word & ~before) | (0x3030303030303030ull & before);
            if (AllDigits(word)) {
                mantissa = mantissa * kDecimalUnits[left] + EightDigits(word);
                return end;
            }
        }
    }
    while (p != end && IsDigit(*p)) mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    return p;
}

// The integral and fractional cases of AssignNumber's typing of a parsed double.
// value is finite. Below 2^63 in size the conversion to a 64-bit integer truncates it, and
// converting back gives the value only when it had no fraction: the same test as
// value == trunc(value), without the library call std::trunc is where the compiler
// may not assume SSE4.1.
void AssignParsedDouble(BindingProperty& target, double value) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    constexpr double kTwoTo64 = 18446744073709551616.0;
    if (value > -kTwoTo63 && value < kTwoTo63) {
        const auto whole = static_cast<std::int64_t>(value);
        if (static_cast<double>(whole) != value) {
            TreeBuilding::SetFloat(target, value);
        } else if (value < 0) {
            TreeBuilding::SetSigned(target, whole);
        } else {
            TreeBuilding::SetUnsigned(target, static_cast<std::uint64_t>(whole));  // -0 is 0
        }
    } else if (value == -kTwoTo63) {
        TreeBuilding::SetSigned(target, INT64_MIN);
    } else if (value >= kTwoTo63 && value < kTwoTo64) {
        // Doubles this large have no fraction.
        TreeBuilding::SetUnsigned(target, static_cast<std::uint64_t>(value));
    } else {
        TreeBuilding::SetFloat(target, value);
    }
}

// Whether one of the four bytes at p is a point.
inline bool HoldsPoint(const char* p) {
    std::uint32_t word = 0;
    std::memcpy(&word, p, 4);
    word ^= 0x2E2E2E2Eu;  // a point becomes a zero byte
    return ((word - 0x01010101u) & ~word & 0x80808080u) != 0;
}

// Where double arithmetic rounds once to double (not through x87's wider registers), a
// decimal of at most 2^53 digits' worth over a power of ten up to 10^22 is one exact
// quotient of two exact doubles, so one division gives the correctly rounded value, the
// same that from_chars gives.
#if FLT_EVAL_METHOD == 0
constexpr bool kExactDivision = true;
#else
constexpr bool kExactDivision = false;
#endif
constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                   1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Texts of a sign, digits and at most one point (no exponent, no hexadecimal): whole
// numbers of up to 18 digits are exact as they are; the rest read as a double exactly as
// ParseDouble reads them, since nothing in them is one of its special cases. False
// leaves the text to the general path.
bool AssignDecimal(BindingProperty& target, std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    const char* const digits = p;
    // Wraps past 19 digits; only read when there are fewer.
    std::uint64_t mantissa = 0;
    // A point within the first four bytes ends a short whole part (coordinates, amounts):
    // its digits go one by one instead of through a word that would fail. The point stops
    // the loop inside the text.
    if (end - p >= 4 && HoldsPoint(p)) {
        while (IsDigit(*p)) mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    } else {
        p = ReadDigits(text.data(), p, end, mantissa);
    }
    const std::size_t whole = static_cast<std::size_t>(p - digits);
    if (p == end) {
        // 18 digits stay below 2^63 either way; longer ones take the exact general path.
        if (whole == 0 || whole > 18) return false;
        if (negative && mantissa != 0) {
            TreeBuilding::SetSigned(target, -static_cast<std::int64_t>(mantissa));
        } else {
            TreeBuilding::SetUnsigned(target, mantissa);  // -0 is 0
        }
        return true;
    }
    if (*p != '.' || whole == 0) return false;
    const char* const fraction = ++p;
    p = ReadDigits(text.data(), p, end, mantissa);
    if (p != end) return false;
    const std::size_t places = static_cast<std::size_t>(end - fraction);

    double value = 0.0;
    constexpr std::uint64_t kTwoTo53 = std::uint64_t{1} << 53;
    if (kExactDivision && whole + places <= 19 && mantissa <= kTwoTo53 && places < std::size(kPowersOfTen)) {
        value = static_cast<double>(mantissa) / kPowersOfTen[places];
    } else {
        const auto [parsedEnd, error] = std::from_chars(digits, end, value, std::chars_format::fixed);
        // Out of range and subnormal results keep to the general path and its rules.
        if (error != std::errc() || parsedEnd != end || (value != 0.0 && value < std::numeric_limits<double>::min())) {
            return false;
        }
    }
    AssignParsedDouble(target, negative ? -value : value);
    return true;
}

enum class Word { None, Null, True, False };

// The null and bool words, each in its three spellings (lower, capitalized, upper), told
// apart by length first: most texts are no word and leave after one or two comparisons.
Word PlainWord(std::string_view text) {
    const auto any = [text](std::string_view lower, std::string_view capitalized, std::string_view upper) {
        return text == lower || text == capitalized || text == upper;
    };
    switch (text.size()) {
        case 1:
            if (text[0] == '~') return Word::Null;
            if (text[0] == 'y' || text[0] == 'Y') return Word::True;
            if (text[0] == 'n' || text[0] == 'N') return Word::False;
            return Word::None;
        case 2:
            if (any("on", "On", "ON")) return Word::True;
            if (any("no", "No", "NO")) return Word::False;
            return Word::None;
        case 3:
            if (any("yes", "Yes", "YES")) return Word::True;
            if (any("off", "Off", "OFF")) return Word::False;
            return Word::None;
        case 4:
            if (any("null", "Null", "NULL")) return Word::Null;
            if (any("true", "True", "TRUE")) return Word::True;
            return Word::None;
        case 5:
            return any("false", "False", "FALSE") ? Word::False : Word::None;
        default:
            return Word::None;
    }
}

}  // namespace

void AssignPlainYamlScalarFast(BindingProperty& target, std::string_view text) {
    if (text.empty()) {
        if (!target.IsEmpty()) target.Clear();
        return;
    }
    const char first = text[0];
    // No word starts like a number, and no number like a word.
    if (IsDigit(first) || first == '-' || first == '+' || first == '.') {
        if (!AssignDecimal(target, text)) AssignPlainYamlScalar(target, text);
        return;
    }
    switch (PlainWord(text)) {
        case Word::Null:
            if (!target.IsEmpty()) target.Clear();
            return;
        case Word::True:
            TreeBuilding::SetBool(target, true);
            return;
        case Word::False:
            TreeBuilding::SetBool(target, false);
            return;
        case Word::None:
            TreeBuilding::SetString(target, text);
            return;
    }
}

bool AssignYamlScalar(ConversionResult& result, BindingProperty& target, const char* tag, std::string_view text,
                      bool quoted, BindingProperty& scratch) {
    if (tag == nullptr) {
        if (quoted) {
            target.AssignString(text);
        } else {
            AssignPlainYamlScalar(target, text);
        }
        return true;
    }

    const std::string_view tagText(tag);
    if (tagText == kYamlStrTag) {
        target.AssignString(text);
        return true;
    }
    if (tagText == kYamlIntTag || tagText == kYamlFloatTag) return AssignTaggedNumber(result, target, tagText, text, scratch);
    if (tagText == kYamlBoolTag) {
        bool flag = false;
        if (!ReadBoolWord(text, flag)) {
            // Leaving the value Empty would pass a typo off as a missing value.
            result.SetError(FormatPositionalString("Invalid YAML bool value '%1'.", {text}));
            return false;
        }
        target = flag;
        return true;
    }
    result.SetError(FormatPositionalString("Unsupported YAML tag '%1'.", {tagText}));
    return false;
}

}  // namespace Kesh
