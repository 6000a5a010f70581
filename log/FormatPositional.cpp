#include "log/FormatPositional.h"

#include <cstring>
#include <limits>

#include "log/FormatOutput.h"
#include "log/PositionalDirective.h"

namespace Kesh {

namespace {

// Resolves a "*" width or precision into value; false when its argument is missing or
// cannot serve as a number.
bool ReadStarCount(const DirectiveCount& count, const FormatArgument* arguments, std::size_t argumentCount,
                   std::int32_t& value) {
    if (count.argument == 0 || count.argument > argumentCount) {
        return false;
    }
    const FormatArgument& argument = arguments[count.argument - 1];
    if (!argument.UsableAsWidth()) {
        return false;
    }
    value = argument.ReadInteger();
    return true;
}

// A conversion that can end a directive right after '%' or "%N$": a letter that is not a
// length modifier. Flags, digits, '*' and '.' need the full parser.
bool IsPlainConversion(char c) {
    const char lower = static_cast<char>(c | 0x20);
    if (lower < 'a' || lower > 'z') {
        return false;
    }
    return c != 'L' && c != 'j' && c != 't' && c != 'z' && c != 'h' && c != 'l';
}

// A directive with nothing but an argument number and a conversion ("%s", "%2$d", "%3"),
// read without the full parser. Leaves the counter alone and returns false for anything
// else, which the full parser then reads from the same place.
struct PlainDirective {
    std::size_t argument = 0;  // 1-based; 0 when a sequential one is to be taken
    char conversion = 0;       // 0 for the short form: the argument's default
    std::size_t length = 0;
};

bool ReadPlainDirective(const char* text, std::size_t count, PlainDirective& directive) {
    std::size_t position = 1;
    if (text[position] >= '1' && text[position] <= '9') {
        std::size_t number = 0;
        // Numbers beyond the arguments are widths to the full parser; stop reading them early.
        while (text[position] >= '0' && text[position] <= '9') {
            number = number * 10 + static_cast<std::size_t>(text[position] - '0');
            ++position;
            if (number > count || number > 99999) {
                return false;
            }
        }
        directive.argument = number;
        if (text[position] != '$') {
            directive.length = position;  // "%N": the short form
            return true;
        }
        ++position;
    }
    if (!IsPlainConversion(text[position])) {
        return false;
    }
    directive.conversion = text[position];
    directive.length = position + 1;
    return true;
}

}  // namespace

std::size_t FormatPositional(char* buffer, std::size_t size, const char* templateText,
                             const FormatArgument* arguments, std::size_t count) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    if (arguments == nullptr) {
        count = 0;
    }
    FormatOutput output(buffer, size - 1);
    std::size_t nextSequential = 1;
    const char* cursor = templateText != nullptr ? templateText : "";

    while (*cursor != '\0' && !output.Full()) {
        if (*cursor != '%') {
            // Literal text up to the next directive, copied as far as the output reaches.
            char* out = output.Cursor();
            const std::size_t space = output.Space();
            std::size_t run = 0;
            while (run < space && cursor[run] != '%' && cursor[run] != '\0') {
                out[run] = cursor[run];
                ++run;
            }
            output.Advance(run);
            cursor += run;
            continue;
        }
        if (cursor[1] == '%') {
            output.Append('%');
            cursor += 2;
            continue;
        }

        if (PlainDirective plain; ReadPlainDirective(cursor, count, plain)) {
            const std::size_t number = plain.argument != 0 ? plain.argument : nextSequential++;
            if (number > count) {
                break;
            }
            const FormatArgument& argument = arguments[number - 1];
            if (!argument.FormatPlain(output, plain.conversion != 0 ? plain.conversion : argument.DefaultConversion())) {
                break;
            }
            cursor += plain.length;
            continue;
        }

        PositionalDirective directive = ParsePositionalDirective(cursor, count, nextSequential);
        if (directive.TooLong() || directive.argument == 0 || directive.argument > count) {
            break;
        }

        ConversionSpec spec;
        spec.flags = directive.flags;
        if (directive.width.kind == DirectiveCount::Kind::Literal) {
            spec.hasWidth = true;
            spec.width = directive.width.literal;
        } else if (directive.width.kind == DirectiveCount::Kind::Star) {
            std::int32_t width = 0;
            if (!ReadStarCount(directive.width, arguments, count, width)) {
                break;
            }
            // A negative width from an argument means left-justified.
            spec.hasWidth = true;
            if (width < 0) {
                spec.flags |= kFlagLeft;
                width = width == std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::max()
                                                                         : -width;
            }
            spec.width = width;
        }
        if (directive.precision.kind == DirectiveCount::Kind::Literal) {
            spec.hasPrecision = true;
            spec.precision = directive.precision.literal;
        } else if (directive.precision.kind == DirectiveCount::Kind::Star) {
            std::int32_t precision = 0;
            if (!ReadStarCount(directive.precision, arguments, count, precision)) {
                break;
            }
            // A negative precision from an argument means none.
            spec.hasPrecision = precision >= 0;
            spec.precision = precision >= 0 ? precision : 0;
        }

        const FormatArgument& argument = arguments[directive.argument - 1];
        // Without a length modifier of the caller's the type's own applies, so a 64-bit
        // value is never shown through a 32-bit conversion.
        spec.lengthModifier = directive.lengthModifier == LengthModifier::None
                                           ? argument.OwnLengthModifier()
                                           : directive.lengthModifier;
        spec.conversion = directive.shortForm ? argument.DefaultConversion() : directive.conversion;

        if (!argument.Format(output, spec)) {
            break;
        }
        cursor += directive.length;
    }

    output.Terminate();
    return output.Length();
}

std::string FormatPositionalString(const char* templateText, const FormatArgument* arguments,
                                   std::size_t count) {
    char buffer[kMessageBufferSize];
    std::size_t length = FormatPositional(buffer, sizeof buffer, templateText, arguments, count);
    return std::string(buffer, length);
}

std::string FormatPositionalString(const char* templateText, std::initializer_list<FormatArgument> arguments) {
    return FormatPositionalString(templateText, arguments.begin(), arguments.size());
}

}  // namespace Kesh
