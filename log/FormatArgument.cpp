#include "log/FormatArgument.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

#include "log/DecimalText.h"
#include "log/PrintfFormat.h"

namespace Kesh {

namespace {

// printf never produces more than this for one value: a huge width or precision is cut
// down (see Print) so that snprintf neither works through gigabytes of padding nor
// reaches its int result limit.
constexpr std::size_t kPieceLimit = std::size_t{1} << 20;

// More than the longest number printf can produce without width or precision help: a
// double's integer part (309 digits), the exact decimal expansion of a double's fraction
// (1074 digits), signs, prefixes and exponents. Precisions beyond it only add zeros.
constexpr std::int64_t kLengthSlack = 2048;

void AppendDecimal(char*& cursor, std::int32_t value) {
    char digits[12];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (count > 0) {
        *cursor++ = digits[--count];
    }
}

// Formats one value with snprintf straight into the output. The width and precision are
// bounded by the space left plus the value's own possible length, which leaves the
// visible (cut) text exactly as an unbounded printf would have produced it: more padding
// or more zeros would only fall past the end of the output.
// A plain decimal or hexadecimal integer (no flags, width or precision, the common case in
// messages) is written here: the same digits printf would give, without its parsing.
template <typename T>
bool PrintPlainInteger(FormatOutput& output, const ConversionSpec& spec, T value, bool& whole) {
    if constexpr (std::is_integral_v<T>) {
        if (spec.flags != 0 || spec.hasWidth || spec.hasPrecision) return false;
        int base = 10;
        switch (spec.conversion) {
        case 'd':
        case 'i':
        case 'u':
            break;
        case 'x':
            base = 16;
            break;
        default:
            return false;
        }
        char digits[24];  // 64-bit octal would need 22; decimal and hexadecimal fewer
        if (base == 10) {
            char* end = digits + sizeof digits;
            const char* start = std::is_signed_v<T> ? WriteSignedDecimalBackwards(end, static_cast<std::int64_t>(value))
                                                     : WriteDecimalBackwards(end, static_cast<std::uint64_t>(value));
            whole = output.Append(start, static_cast<std::size_t>(end - start));
            return true;
        }
        const std::to_chars_result written = std::to_chars(digits, digits + sizeof digits, value, base);
        whole = output.Append(digits, static_cast<std::size_t>(written.ptr - digits));
        return true;
    } else {
        static_cast<void>(output);
        static_cast<void>(spec);
        static_cast<void>(value);
        static_cast<void>(whole);
        return false;
    }
}

template <typename T>
bool Print(FormatOutput& output, ConversionSpec spec, const char* modifier, T value) {
    if (bool whole = false; PrintPlainInteger(output, spec, value, whole)) return whole;
    std::size_t space = std::min(output.Space(), kPieceLimit);
    std::int64_t room = static_cast<std::int64_t>(space);
    if (spec.hasPrecision) {
        spec.precision = static_cast<std::int32_t>(
            std::min<std::int64_t>(spec.precision, room + kLengthSlack));
    }
    std::int64_t lengthBound = (spec.hasPrecision ? spec.precision : 6) + kLengthSlack;
    if (spec.hasWidth) {
        spec.width = static_cast<std::int32_t>(
            std::min<std::int64_t>(spec.width, room + lengthBound));
    }

    char format[32];  // '%', five flags, two numbers of at most 10 digits, '.', modifier, conversion
    char* cursor = format;
    *cursor++ = '%';
    cursor += WriteFlagText(spec.flags, cursor);
    if (spec.hasWidth) {
        AppendDecimal(cursor, spec.width);
    }
    if (spec.hasPrecision) {
        *cursor++ = '.';
        AppendDecimal(cursor, spec.precision);
    }
    for (const char* m = modifier; *m != '\0'; ++m) {
        *cursor++ = *m;
    }
    *cursor++ = spec.conversion;
    *cursor = '\0';

    int produced = std::snprintf(output.Cursor(), space + 1, format, value);
    if (produced < 0) {
        return false;
    }
    output.Advance(std::min(static_cast<std::size_t>(produced), space));
    return static_cast<std::size_t>(produced) <= space;
}

bool IsIntegerConversion(char conversion) { return std::strchr("diouxX", conversion) != nullptr; }

// Where zero padding goes in a formatted number: after its sign and any "0x" prefix.
std::size_t PrefixLength(const char* text, std::size_t length, char conversion) {
    std::size_t prefix = 0;
    if (prefix < length && (text[prefix] == '-' || text[prefix] == '+' || text[prefix] == ' ')) {
        ++prefix;
    }
    if (std::strchr("xXaA", conversion) != nullptr && prefix + 1 < length && text[prefix] == '0' &&
        (text[prefix + 1] == 'x' || text[prefix + 1] == 'X')) {
        prefix += 2;
    }
    return prefix;
}

bool IsNotFinite(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const char c = static_cast<char>(text[i] | 0x20);
        if (c == 'i' || c == 'n') {
            return true;
        }
    }
    return false;
}

// A width beyond the piece limit: the value is printed without it and padded here, so
// that a number takes its whole width as a text does, as far as the output reaches.
template <typename T>
bool PrintWide(FormatOutput& output, const ConversionSpec& spec, const char* modifier, T value) {
    ConversionSpec bare = spec;
    bare.hasWidth = false;
    const std::size_t start = output.Length();
    if (!Print(output, bare, modifier, value)) {
        return false;
    }
    const std::size_t length = output.Length() - start;
    const std::size_t width = static_cast<std::size_t>(spec.width);
    if (width <= length) {
        return true;
    }
    const std::size_t padding = width - length;
    if ((spec.flags & kFlagLeft) != 0) {
        return output.AppendRepeated(' ', padding);
    }
    char* text = output.Cursor() - length;
    char fill = ' ';
    std::size_t prefix = 0;
    const bool zeroIgnored = spec.conversion == 'c' || (IsIntegerConversion(spec.conversion) && spec.hasPrecision);
    if ((spec.flags & kFlagZero) != 0 && !zeroIgnored && !IsNotFinite(text, length)) {
        fill = '0';
        prefix = PrefixLength(text, length, spec.conversion);
    }
    // Move the value's digits right by the padding (what still fits) and fill the gap.
    const std::size_t end = length + std::min(padding, output.Space());
    const std::size_t moved = prefix + padding;
    if (moved < end) {
        std::memmove(text + moved, text + prefix, end - moved);
    }
    std::memset(text + prefix, fill, std::min(padding, end - prefix));
    output.Advance(end - length);
    return end == length + padding;
}

template <typename T>
bool PrintValue(FormatOutput& output, const ConversionSpec& spec, const char* modifier, T value) {
    if (spec.hasWidth && static_cast<std::size_t>(spec.width) > kPieceLimit) {
        return PrintWide(output, spec, modifier, value);
    }
    return Print(output, spec, modifier, value);
}

bool IsSignedConversion(char conversion) { return conversion == 'd' || conversion == 'i'; }

bool FormatInteger(FormatOutput& output, ConversionSpec spec, std::uint64_t bits) {
    if (spec.conversion == 'c') {
        // Only '-' and the width mean something for a character; a length modifier would
        // ask for a wide character.
        spec.flags &= kFlagLeft;
        spec.hasPrecision = false;
        return PrintValue(output, spec, "", static_cast<int>(static_cast<unsigned char>(bits)));
    }
    const bool isSigned = IsSignedConversion(spec.conversion);
    if (isSigned) {
        spec.flags &= ~static_cast<unsigned>(kFlagAlternate);
    }
    const char* modifier = LengthModifierText(spec.lengthModifier);
    switch (spec.lengthModifier) {
    case LengthModifier::None:
        return isSigned ? PrintValue(output, spec, modifier, static_cast<int>(bits))
                        : PrintValue(output, spec, modifier, static_cast<unsigned>(bits));
    case LengthModifier::Hh:
        // printf reads the promoted int and narrows it itself; pass the narrowed value.
        return isSigned ? PrintValue(output, spec, modifier, static_cast<int>(static_cast<signed char>(bits)))
                        : PrintValue(output, spec, modifier, static_cast<int>(static_cast<unsigned char>(bits)));
    case LengthModifier::H:
        return isSigned ? PrintValue(output, spec, modifier, static_cast<int>(static_cast<short>(bits)))
                        : PrintValue(output, spec, modifier, static_cast<int>(static_cast<unsigned short>(bits)));
    case LengthModifier::L:
        return isSigned ? PrintValue(output, spec, modifier, static_cast<long>(bits))
                        : PrintValue(output, spec, modifier, static_cast<unsigned long>(bits));
    case LengthModifier::Ll:
    case LengthModifier::LongDouble:
        // "L" is for floating point only; an integer under it is read as "ll".
        return isSigned ? PrintValue(output, spec, "ll", static_cast<long long>(bits))
                        : PrintValue(output, spec, "ll", static_cast<unsigned long long>(bits));
    case LengthModifier::J:
        return isSigned ? PrintValue(output, spec, modifier, static_cast<std::intmax_t>(bits))
                        : PrintValue(output, spec, modifier, static_cast<std::uintmax_t>(bits));
    case LengthModifier::Z:
        return isSigned ? PrintValue(output, spec, modifier, static_cast<std::make_signed_t<std::size_t>>(bits))
                        : PrintValue(output, spec, modifier, static_cast<std::size_t>(bits));
    case LengthModifier::T:
        return isSigned ? PrintValue(output, spec, modifier, static_cast<std::ptrdiff_t>(bits))
                        : PrintValue(output, spec, modifier, static_cast<std::make_unsigned_t<std::ptrdiff_t>>(bits));
    }
    return false;
}

bool FormatDouble(FormatOutput& output, const ConversionSpec& spec, double value) {
    // Numbers read the same whatever locale the host set: the point is always ".".
    const std::size_t start = output.Length();
    char* text = output.Cursor();
    // Only "L" changes what printf reads for a floating conversion; the others are dropped.
    const bool whole = spec.lengthModifier == LengthModifier::LongDouble
                           ? PrintValue(output, spec, "L", static_cast<long double>(value))
                           : PrintValue(output, spec, "", value);
    const std::size_t written = output.Length() - start;
    output.Retract(written - UseDotDecimalPoint(text, written));
    return whole;
}

bool FormatText(FormatOutput& output, const ConversionSpec& spec, const char* data,
                std::size_t size) {
    std::size_t shown = size;
    if (spec.hasPrecision) {
        shown = std::min(shown, static_cast<std::size_t>(spec.precision));
    }
    std::size_t padding = 0;
    if (spec.hasWidth && static_cast<std::size_t>(spec.width) > shown) {
        padding = static_cast<std::size_t>(spec.width) - shown;
    }
    // Written here rather than by printf: no length limit, no wide-string reading, and a
    // std::string is shown whole.
    const bool left = (spec.flags & kFlagLeft) != 0;
    if (!left && !output.AppendRepeated(' ', padding)) {
        return false;
    }
    if (!output.Append(data, shown)) {
        return false;
    }
    return !left || output.AppendRepeated(' ', padding);
}

template <typename T>
std::int32_t Saturate(T value) {
    if constexpr (std::is_signed_v<T>) {
        if (value < std::numeric_limits<std::int32_t>::min()) {
            return std::numeric_limits<std::int32_t>::min();
        }
    }
    if (value > static_cast<T>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

FormatArgument::FormatArgument(const char* value)
    : FormatArgument(value != nullptr ? std::string_view(value) : std::string_view()) {}

const char* FormatArgument::AllowedConversions() const {
    switch (type) {
    case FormatArgumentType::SignedInt8: return "cdiouxX";
    case FormatArgumentType::SignedInt32: return "dciouxX";
    case FormatArgumentType::UnsignedInt32: return "ucdioxX";
    case FormatArgumentType::SignedInt64: return "dciouxX";
    case FormatArgumentType::UnsignedInt64: return "ucdioxX";
    case FormatArgumentType::Double: return "gaefGAEF";
    case FormatArgumentType::String: return "s";
    }
    return "s";
}

namespace {

// The conversions of AllowedConversions as bit sets over 'A'..'z', so that checking a
// requested conversion is one shift instead of a search through the text.
constexpr std::uint64_t ConversionMask(const char* letters) {
    std::uint64_t mask = 0;
    for (; *letters != '\0'; ++letters) {
        mask |= std::uint64_t{1} << (*letters - 'A');
    }
    return mask;
}

constexpr std::uint64_t kIntegerConversions = ConversionMask("cdiouxX");
constexpr std::uint64_t kDoubleConversions = ConversionMask("gaefGAEF");
constexpr std::uint64_t kTextConversions = ConversionMask("s");

bool Allows(FormatArgumentType type, char requested) {
    if (requested < 'A' || requested > 'z') {
        return false;
    }
    std::uint64_t mask = kTextConversions;
    switch (type) {
    case FormatArgumentType::SignedInt8:
    case FormatArgumentType::SignedInt32:
    case FormatArgumentType::UnsignedInt32:
    case FormatArgumentType::SignedInt64:
    case FormatArgumentType::UnsignedInt64:
        mask = kIntegerConversions;
        break;
    case FormatArgumentType::Double:
        mask = kDoubleConversions;
        break;
    case FormatArgumentType::String:
        break;
    }
    return ((mask >> (requested - 'A')) & 1u) != 0;
}

}  // namespace

char FormatArgument::ResolveConversion(char requested) const {
    return Allows(type, requested) ? requested : DefaultConversion();
}

LengthModifier FormatArgument::OwnLengthModifier() const {
    return type == FormatArgumentType::SignedInt64 || type == FormatArgumentType::UnsignedInt64
               ? LengthModifier::Ll
               : LengthModifier::None;
}

std::int32_t FormatArgument::ReadInteger() const {
    switch (type) {
    case FormatArgumentType::SignedInt8:
    case FormatArgumentType::SignedInt32:
    case FormatArgumentType::SignedInt64:
        return Saturate(signedValue);
    case FormatArgumentType::UnsignedInt32:
    case FormatArgumentType::UnsignedInt64:
        return Saturate(unsignedValue);
    case FormatArgumentType::Double:
        if (std::isnan(doubleValue)) {
            return 0;
        }
        if (doubleValue >= 2147483647.0) {
            return std::numeric_limits<std::int32_t>::max();
        }
        if (doubleValue <= -2147483648.0) {
            return std::numeric_limits<std::int32_t>::min();
        }
        return static_cast<std::int32_t>(doubleValue);
    case FormatArgumentType::String:
        break;
    }
    return 0;
}

bool FormatArgument::Format(FormatOutput& output, const ConversionSpec& spec) const {
    ConversionSpec resolved = spec;
    resolved.conversion = ResolveConversion(spec.conversion);
    switch (type) {
    case FormatArgumentType::SignedInt8:
    case FormatArgumentType::SignedInt32:
    case FormatArgumentType::SignedInt64:
        return FormatInteger(output, resolved, static_cast<std::uint64_t>(signedValue));
    case FormatArgumentType::UnsignedInt32:
    case FormatArgumentType::UnsignedInt64:
        return FormatInteger(output, resolved, unsignedValue);
    case FormatArgumentType::Double:
        return FormatDouble(output, resolved, doubleValue);
    case FormatArgumentType::String:
        return FormatText(output, resolved, text.data, text.size);
    }
    return false;
}

bool FormatArgument::FormatPlain(FormatOutput& output, char conversion) const {
    if (type == FormatArgumentType::String) {
        // Every conversion of text resolves to "s"; without width or precision it is the text.
        return output.Append(text.data, text.size);
    }
    const char resolved = ResolveConversion(conversion);
    if (type != FormatArgumentType::Double && (resolved == 'd' || resolved == 'i' || resolved == 'u')) {
        // The value as printf would read it under the type's own length modifier: 32 bits
        // for the narrower types, 64 for the others, signed or not as the conversion says.
        const bool wide = type == FormatArgumentType::SignedInt64 || type == FormatArgumentType::UnsignedInt64;
        const bool isSigned = type == FormatArgumentType::SignedInt8 || type == FormatArgumentType::SignedInt32 ||
                              type == FormatArgumentType::SignedInt64;
        const std::uint64_t bits = isSigned ? static_cast<std::uint64_t>(signedValue) : unsignedValue;
        char digits[kMaxDecimalLength];
        char* end = digits + sizeof digits;
        const char* start;
        if (resolved == 'u') {
            start = WriteDecimalBackwards(end, wide ? bits : static_cast<std::uint32_t>(bits));
        } else {
            start = WriteSignedDecimalBackwards(
                end, wide ? static_cast<std::int64_t>(bits) : static_cast<std::int32_t>(static_cast<std::uint32_t>(bits)));
        }
        return output.Append(start, static_cast<std::size_t>(end - start));
    }
    ConversionSpec spec;
    spec.lengthModifier = OwnLengthModifier();
    spec.conversion = conversion;
    return Format(output, spec);
}

}  // namespace Kesh
