#include "log/PositionalDirective.h"

#include <cstdint>
#include <limits>

namespace Kesh {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads a run of digits, saturating instead of overflowing.
template <typename T>
T ReadNumber(const char* text, std::size_t& position, T limit) {
    T value = 0;
    while (IsDigit(text[position])) {
        T digit = static_cast<T>(text[position] - '0');
        value = (value > (limit - digit) / 10) ? limit : static_cast<T>(value * 10 + digit);
        ++position;
    }
    return value;
}

// Width and precision share one grammar: digits, or "*" with an optional "N$".
void ReadCount(const char* text, std::size_t& position, DirectiveCount& count,
               std::size_t& specLength) {
    if (text[position] == '*') {
        count.kind = DirectiveCount::Kind::Star;
        ++position;
        ++specLength;
        std::size_t digitsEnd = position;
        while (IsDigit(text[digitsEnd])) {
            ++digitsEnd;
        }
        // Digits belong to the star only when "$" closes them; otherwise they are left
        // to the rest of the directive.
        if (digitsEnd > position && text[digitsEnd] == '$') {
            count.argument = ReadNumber<std::size_t>(text, position,
                                                     std::numeric_limits<std::size_t>::max());
            count.explicitArgument = true;
            ++position;  // '$'
        }
        return;
    }
    if (IsDigit(text[position])) {
        std::size_t start = position;
        count.kind = DirectiveCount::Kind::Literal;
        count.literal = ReadNumber<std::int32_t>(text, position,
                                                 std::numeric_limits<std::int32_t>::max());
        specLength += position - start;
    }
}

}  // namespace

const char* LengthModifierText(LengthModifier modifier) {
    switch (modifier) {
    case LengthModifier::Hh: return "hh";
    case LengthModifier::H: return "h";
    case LengthModifier::L: return "l";
    case LengthModifier::Ll: return "ll";
    case LengthModifier::LongDouble: return "L";
    case LengthModifier::J: return "j";
    case LengthModifier::Z: return "z";
    case LengthModifier::T: return "t";
    case LengthModifier::None: break;
    }
    return "";
}

std::size_t WriteFlagText(unsigned flags, char* out) {
    static constexpr struct {
        unsigned flag;
        char text;
    } kFlagTexts[] = {{kFlagLeft, '-'}, {kFlagSign, '+'}, {kFlagSpace, ' '}, {kFlagAlternate, '#'}, {kFlagZero, '0'}};
    std::size_t written = 0;
    for (const auto& flag : kFlagTexts) {
        if ((flags & flag.flag) != 0) {
            out[written++] = flag.text;
        }
    }
    return written;
}

PositionalDirective ParsePositionalDirective(const char* text, std::size_t count,
                                             std::size_t& nextSequential) {
    PositionalDirective directive;
    std::size_t position = 1;  // past '%'
    directive.specLength = 1;

    if (text[position] >= '1' && text[position] <= '9') {
        std::size_t digitsStart = position;
        std::size_t number = ReadNumber<std::size_t>(text, position,
                                                     std::numeric_limits<std::size_t>::max());
        if (number <= count) {
            directive.argument = number;
            directive.explicitArgument = true;
            if (text[position] != '$') {
                directive.shortForm = true;
                directive.length = position;
                return directive;
            }
            ++position;
        } else {
            // Not an argument of this call: the digits are a width.
            position = digitsStart;
        }
    }

    for (;; ++position) {
        char c = text[position];
        if (c == '-') {
            directive.flags |= kFlagLeft;
        } else if (c == '+') {
            directive.flags |= kFlagSign;
        } else if (c == ' ') {
            directive.flags |= kFlagSpace;
        } else if (c == '#') {
            directive.flags |= kFlagAlternate;
        } else if (c == '0') {
            directive.flags |= kFlagZero;
        } else {
            break;
        }
        ++directive.specLength;
    }

    ReadCount(text, position, directive.width, directive.specLength);

    if (text[position] == '.') {
        ++position;
        ++directive.specLength;
        ReadCount(text, position, directive.precision, directive.specLength);
        if (directive.precision.kind == DirectiveCount::Kind::None) {
            directive.precision.kind = DirectiveCount::Kind::Literal;  // "." alone is 0
        }
    }

    switch (text[position]) {
    case 'L': directive.lengthModifier = LengthModifier::LongDouble; break;
    case 'j': directive.lengthModifier = LengthModifier::J; break;
    case 't': directive.lengthModifier = LengthModifier::T; break;
    case 'z': directive.lengthModifier = LengthModifier::Z; break;
    case 'h':
        directive.lengthModifier = text[position + 1] == 'h' ? LengthModifier::Hh : LengthModifier::H;
        break;
    case 'l':
        directive.lengthModifier = text[position + 1] == 'l' ? LengthModifier::Ll : LengthModifier::L;
        break;
    default: break;
    }
    if (directive.lengthModifier == LengthModifier::Hh || directive.lengthModifier == LengthModifier::Ll) {
        position += 2;
        directive.specLength += 2;
    } else if (directive.lengthModifier != LengthModifier::None) {
        ++position;
        ++directive.specLength;
    }

    if (text[position] != '\0') {
        directive.conversion = text[position];
        ++position;
        ++directive.specLength;
    }

    // Sequential arguments are taken in printf's order: width, precision, value.
    if (directive.width.kind == DirectiveCount::Kind::Star && !directive.width.explicitArgument) {
        directive.width.argument = nextSequential++;
    }
    if (directive.precision.kind == DirectiveCount::Kind::Star &&
        !directive.precision.explicitArgument) {
        directive.precision.argument = nextSequential++;
    }
    if (!directive.explicitArgument) {
        directive.argument = nextSequential++;
    }
    directive.length = position;
    return directive;
}

}  // namespace Kesh
