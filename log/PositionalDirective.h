#pragma once

#include <cstddef>
#include <cstdint>

namespace Kesh {

// Flags of a directive, kept as a set: repeating a flag means nothing more to printf.
enum PositionalFlag : unsigned {
    kFlagLeft = 1u << 0,     // '-'
    kFlagSign = 1u << 1,     // '+'
    kFlagSpace = 1u << 2,    // ' '
    kFlagAlternate = 1u << 3,  // '#'
    kFlagZero = 1u << 4,     // '0'
};

enum class LengthModifier : std::uint8_t { None, Hh, H, L, Ll, LongDouble, J, Z, T };

// A width or a precision as written: absent, literal digits, or "*" taking its value
// from an argument (named with "*N$" or the next sequential one).
struct DirectiveCount {
    enum class Kind : std::uint8_t { None, Literal, Star };
    Kind kind = Kind::None;
    std::int32_t literal = 0;    // digits, saturated at INT32_MAX
    std::size_t argument = 0;    // 1-based argument number for a star
    bool explicitArgument = false;
};

struct PositionalDirective {
    std::size_t length = 0;        // characters of the template taken, starting at '%'
    std::size_t argument = 0;      // 1-based number of the value's argument
    bool explicitArgument = false; // "%N$..." or the short form "%N"
    bool shortForm = false;        // "%N": no spec of its own
    unsigned flags = 0;            // PositionalFlag bits
    DirectiveCount width;
    DirectiveCount precision;      // Literal with no digits means ".": precision 0
    LengthModifier lengthModifier = LengthModifier::None;
    char conversion = 0;           // 0 when the template ended before it
    std::size_t specLength = 0;  // '%' up to the conversion, without "N$" parts

    bool TooLong() const { return specLength > kMaxConversionSpecLength; }

    static constexpr std::size_t kMaxConversionSpecLength = 59;
};

// The printf text of a length modifier ("" for none).
const char* LengthModifierText(LengthModifier modifier);

// Writes the printf characters of the flags (at most five) at out; returns how many.
std::size_t WriteFlagText(unsigned flags, char* out);

// Reads the directive that starts at text[0] == '%' (which must not be "%%"). count is
// the number of arguments; nextSequential is the running counter of arguments taken
// without a number, advanced for the value, widths and precisions taken that way.
// Never reads past the template's terminator; argument numbers are not checked
// against count beyond what the grammar needs, so the caller validates them.
PositionalDirective ParsePositionalDirective(const char* text, std::size_t count,
                                             std::size_t& nextSequential);

}  // namespace Kesh
