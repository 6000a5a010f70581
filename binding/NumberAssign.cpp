#include "binding/NumberAssign.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "binding/NumberText.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

constexpr const char* kRequiredMessage = "A value for '%1' is required.";
constexpr const char* kFormatMessage = "Value %1 for '%2' of type %3 is in an incorrect format";
constexpr const char* kRangeMessage = "Value %1 for '%2' of type %3 is out of range";
constexpr const char* kInvalidTypeMessage =
    "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.";

// 2^63 and 2^64: the first doubles that no longer fit the 64-bit integers. The largest
// 64-bit values round up to these as doubles, so the range test alone would let them
// through and the conversion would be undefined.
constexpr double kTwoPow63 = 9223372036854775808.0;
constexpr double kTwoPow64 = 18446744073709551616.0;

void SetRangeError(ConversionResult& result, const FormatArgument& value, const char* name,
                   const char* typeName) {
    result.SetError(FormatPositionalString(kRangeMessage, {value, name, typeName}));
}

void SetFormatError(ConversionResult& result, std::string_view text, const char* name,
                    const char* typeName) {
    result.SetError(FormatPositionalString(kFormatMessage, {text, name, typeName}));
}

// Whether the parser stopped before the end of the text (an embedded NUL counts as a
// character left over).
bool HasTrailing(std::string_view text, const char* end) {
    return end != text.data() + text.size();
}

bool StartsWithMinus(std::string_view text) {
    for (char c : text) {
        if (c == ' ' || (c >= '\t' && c <= '\r')) {
            continue;
        }
        return c == '-';
    }
    return false;
}

// Reads a whole text as a number with parse (one of the strto* family, which accept
// leading white space, a sign and, for integers, a 0x or 0 prefix). Anything after the
// number is a format error; a number the parser cannot hold, or one inRange refuses, is
// out of range.
template <typename T, typename Parse, typename InRange>
bool AssignText(ConversionResult& result, T& out, std::string_view text, Parse parse, InRange inRange,
                const char* name, const char* typeName) {
    char* end = nullptr;
    errno = 0;
    const auto value = parse(text.data(), &end);
    const bool overflow = errno == ERANGE;
    if (HasTrailing(text, end)) {
        SetFormatError(result, text, name, typeName);
        return false;
    }
    if (overflow || !inRange(value)) {
        SetRangeError(result, text, name, typeName);
        return false;
    }
    out = static_cast<T>(value);
    return true;
}

// A double truncated toward zero, for a value already known to fit.
std::int64_t TruncateSigned(double value) {
    return std::isnan(value) ? 0 : static_cast<std::int64_t>(value);
}

std::uint64_t TruncateUnsigned(double value) {
    return std::isnan(value) ? 0 : static_cast<std::uint64_t>(value);
}

}  // namespace

void SetRequiredError(ConversionResult& result, const char* name) {
    result.SetError(FormatPositionalString(kRequiredMessage, {name}));
}

bool BeginAssign(ConversionResult& result, const BindingProperty& input, const char* name) {
    if (!result.Ok()) {
        return false;
    }
    if (input.Kind() == PropertyKind::Empty) {
        SetRequiredError(result, name);
        return false;
    }
    return true;
}

void SetInvalidTypeError(ConversionResult& result, const char* name, const char* typeName,
                         PropertyKind kind) {
    result.SetError(FormatPositionalString(kInvalidTypeMessage, {name, typeName, PropertyKindName(kind)}));
}

bool AssignSigned(ConversionResult& result, std::int64_t& out, const BindingProperty& input,
                  const char* name, std::int64_t minimum, std::int64_t maximum,
                  const char* typeName) {
    out = 0;
    if (!BeginAssign(result, input, name)) {
        return false;
    }
    switch (input.Kind()) {
    case PropertyKind::Signed:
    case PropertyKind::Enum: {
        const std::int64_t value =
            input.Kind() == PropertyKind::Enum ? input.GetEnumNumber() : input.GetSigned();
        if (value < minimum || value > maximum) {
            SetRangeError(result, value, name, typeName);
            return false;
        }
        out = value;
        return true;
    }
    case PropertyKind::Unsigned: {
        const std::uint64_t value = input.GetUnsigned();
        if (maximum < 0 || value > static_cast<std::uint64_t>(maximum)) {
            SetRangeError(result, value, name, typeName);
            return false;
        }
        out = static_cast<std::int64_t>(value);
        return true;
    }
    case PropertyKind::Float: {
        const double value = input.GetFloat();
        // NaN fails both comparisons, so it passes and becomes 0.
        if (value < static_cast<double>(minimum) || value > static_cast<double>(maximum) ||
            value >= kTwoPow63) {
            SetRangeError(result, value, name, typeName);
            return false;
        }
        out = TruncateSigned(value);
        return true;
    }
    case PropertyKind::String:
        return AssignText(
            result, out, input.GetStringView(), [](const char* text, char** end) { return std::strtoll(text, end, 0); },
            [&](long long value) { return !(value < minimum || value > maximum); }, name, typeName);
    default:
        SetInvalidTypeError(result, name, typeName, input.Kind());
        return false;
    }
}

bool AssignUnsigned(ConversionResult& result, std::uint64_t& out, const BindingProperty& input,
                    const char* name, std::uint64_t maximum, const char* typeName) {
    out = 0;
    if (!BeginAssign(result, input, name)) {
        return false;
    }
    switch (input.Kind()) {
    case PropertyKind::Signed:
    case PropertyKind::Enum: {
        const std::int64_t value =
            input.Kind() == PropertyKind::Enum ? input.GetEnumNumber() : input.GetSigned();
        if (value < 0 || static_cast<std::uint64_t>(value) > maximum) {
            SetRangeError(result, value, name, typeName);
            return false;
        }
        out = static_cast<std::uint64_t>(value);
        return true;
    }
    case PropertyKind::Unsigned: {
        const std::uint64_t value = input.GetUnsigned();
        if (value > maximum) {
            SetRangeError(result, value, name, typeName);
            return false;
        }
        out = value;
        return true;
    }
    case PropertyKind::Float: {
        const double value = input.GetFloat();
        if (value < 0.0 || value > static_cast<double>(maximum) || value >= kTwoPow64) {
            SetRangeError(result, value, name, typeName);
            return false;
        }
        out = TruncateUnsigned(value);
        return true;
    }
    case PropertyKind::String: {
        const std::string_view text = input.GetStringView();
        // The parser negates a signed text instead of rejecting it, even behind
        // leading white space; a negative text is never an unsigned value.
        return AssignText(
            result, out, text, [](const char* digits, char** end) { return std::strtoull(digits, end, 0); },
            [&](unsigned long long value) { return value <= maximum && !StartsWithMinus(text); }, name, typeName);
    }
    default:
        SetInvalidTypeError(result, name, typeName, input.Kind());
        return false;
    }
}

bool AssignFloating(ConversionResult& result, double& out, const BindingProperty& input,
                    const char* name, double minimum, double maximum, const char* typeName) {
    out = 0.0;
    if (!BeginAssign(result, input, name)) {
        return false;
    }
    switch (input.Kind()) {
    case PropertyKind::Signed:
        out = static_cast<double>(input.GetSigned());
        return true;
    case PropertyKind::Unsigned:
        out = static_cast<double>(input.GetUnsigned());
        return true;
    case PropertyKind::Enum:
        out = static_cast<double>(input.GetEnumNumber());
        return true;
    case PropertyKind::Float: {
        const double value = input.GetFloat();
        if (value < minimum || value > maximum) {
            SetRangeError(result, value, name, typeName);
            return false;
        }
        out = value;
        return true;
    }
    case PropertyKind::String:
        return AssignText(
            result, out, input.GetStringView(), [](const char* text, char** end) { return ParseDouble(text, end); },
            [&](double value) { return !(value < minimum || value > maximum); }, name, typeName);
    default:
        SetInvalidTypeError(result, name, typeName, input.Kind());
        return false;
    }
}

}  // namespace Kesh
