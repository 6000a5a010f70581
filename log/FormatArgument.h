#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "log/FormatOutput.h"
#include "log/PositionalDirective.h"

namespace Kesh {

enum class FormatArgumentType : std::uint8_t {
    SignedInt8,
    SignedInt32,
    UnsignedInt32,
    SignedInt64,
    UnsignedInt64,
    Double,
    String,
};

// A directive after its widths, precisions and conversion have been resolved.
// width and precision are never negative here.
struct ConversionSpec {
    unsigned flags = 0;  // PositionalFlag bits
    bool hasWidth = false;
    std::int32_t width = 0;
    bool hasPrecision = false;
    std::int32_t precision = 0;
    LengthModifier lengthModifier = LengthModifier::None;
    char conversion = 0;
};

// One typed value for FormatPositional. Numbers are held by value; text is held by
// pointer, so the text must outlive the argument (a temporary std::string passed in a
// call's argument list lives long enough). Integers of any width map to the nearest
// argument type; bool formats as the text "true" or "false".
class FormatArgument {
public:
    template <typename T>
        requires(std::integral<T> && !std::same_as<T, bool>)
    FormatArgument(T value) {
        if constexpr (std::is_signed_v<T>) {
            type = sizeof(T) == 1   ? FormatArgumentType::SignedInt8
                   : sizeof(T) <= 4 ? FormatArgumentType::SignedInt32
                                    : FormatArgumentType::SignedInt64;
            signedValue = static_cast<std::int64_t>(value);
        } else {
            type = sizeof(T) <= 4 ? FormatArgumentType::UnsignedInt32
                                  : FormatArgumentType::UnsignedInt64;
            unsignedValue = static_cast<std::uint64_t>(value);
        }
    }

    template <std::floating_point T>
    FormatArgument(T value) : type(FormatArgumentType::Double), doubleValue(static_cast<double>(value)) {}

    // A template so that pointers never convert to bool silently.
    template <typename T>
        requires std::same_as<T, bool>
    FormatArgument(T value) : FormatArgument(std::string_view(value ? "true" : "false")) {}

    FormatArgument(const char* text);  // null reads as empty text
    FormatArgument(const std::string& value) : FormatArgument(std::string_view(value)) {}
    FormatArgument(std::string_view value)
        : type(FormatArgumentType::String), text{value.data(), value.size()} {}

    FormatArgumentType Type() const { return type; }

    // The conversions this type accepts; the first one is its default.
    const char* AllowedConversions() const;
    char DefaultConversion() const { return AllowedConversions()[0]; }
    // The requested conversion when the type accepts it, otherwise the default.
    char ResolveConversion(char requested) const;
    // "ll" for the 64-bit types, nothing for the others.
    LengthModifier OwnLengthModifier() const;

    bool UsableAsWidth() const { return type != FormatArgumentType::String; }
    // The value as a signed 32-bit number for "*" widths and precisions; values out of
    // range saturate, text reads as 0.
    std::int32_t ReadInteger() const;

    // Appends the value under the spec. The value always reaches printf as the
    // C type that the final conversion and length modifier expect. Returns false when the
    // text was cut (or could not be produced), after which nothing more should be written.
    bool Format(FormatOutput& output, const ConversionSpec& spec) const;
    // The same for a directive with nothing but its conversion (no flags, width,
    // precision or length modifier of the caller's), the common case in messages: text is
    // copied and decimal numbers are written without going through printf.
    bool FormatPlain(FormatOutput& output, char conversion) const;

private:
    FormatArgumentType type;
    union {
        std::int64_t signedValue;
        std::uint64_t unsignedValue;
        double doubleValue;
        struct {
            const char* data;
            std::size_t size;
        } text;
    };
};

}  // namespace Kesh
