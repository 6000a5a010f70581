#include "log/FormatStructured.h"

#include <string_view>

#include "log/FormatPositional.h"
#include "log/PositionalDirective.h"

namespace Kesh {

namespace {

bool HasTypeSuffix(std::string_view name) {
    static constexpr std::string_view kTypeSuffixes[] = {"_bool", "_int", "_long", "_float", "_str", "_time", "_ip"};
    std::size_t underscore = name.rfind('_');
    if (underscore == std::string_view::npos) {
        return false;
    }
    std::string_view suffix = name.substr(underscore);
    for (std::string_view known : kTypeSuffixes) {
        if (suffix == known) {
            return true;
        }
    }
    return false;
}

const char* KindSuffix(MessageArgumentKind kind) {
    switch (kind) {
    case MessageArgumentKind::Bool: return "_bool";
    case MessageArgumentKind::SignedInteger:
    case MessageArgumentKind::UnsignedInteger: return "_int";
    case MessageArgumentKind::Double: return "_float";
    case MessageArgumentKind::String: return "_str";
    case MessageArgumentKind::None: break;
    }
    return "";
}

// The explicit form of what the short form "%N" prints for each kind.
const char* ExplicitConversion(MessageArgumentKind kind) {
    switch (kind) {
    case MessageArgumentKind::SignedInteger: return "lld";
    case MessageArgumentKind::UnsignedInteger: return "llu";
    case MessageArgumentKind::Double: return "g";
    default: return "s";
    }
}

// The conversion letter that completes a spec the template left without one.
char DefaultConversion(MessageArgumentKind kind) {
    switch (kind) {
    case MessageArgumentKind::SignedInteger: return 'd';
    case MessageArgumentKind::UnsignedInteger: return 'u';
    case MessageArgumentKind::Double: return 'g';
    default: return 's';
    }
}

// Whether a spec ends before its conversion ("05", "-8.3", "ll"): the conversion would
// otherwise be taken from the text after the placeholder.
bool LacksConversion(std::string_view spec) {
    return spec.empty() || std::string_view("0123456789-+ #.*$hlLjzt").find(spec.back()) != std::string_view::npos;
}

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct Placeholder {
    std::string name;
    std::string alternative;
    std::string spec;
    bool typed = false;
    bool silent = false;
    bool conditional = false;
    bool specified = false;
    bool raw = false;
    bool shortForm = false;  // a raw "%N"
};

// Writes the positional template. A short form "%N" directly followed by a digit or "$"
// would read on into them ("%1" then "5" is "%15"), so such a short form is completed
// with "$" and its conversion before the text that follows it.
class PositionalWriter {
public:
    explicit PositionalWriter(std::string& output) : output(output), start(output.size()) {}

    void Append(std::string_view text) {
        if (!text.empty() && output.size() == shortFormEnd && (IsDigit(text[0]) || text[0] == '$')) {
            output += '$';
            output += shortFormConversion;
        }
        output.append(text);
    }

    // Literal text for the output: a percent sign must stay one.
    void AppendLiteral(std::string_view text) {
        for (std::size_t position = 0; position < text.size();) {
            std::size_t percent = text.find('%', position);
            if (percent == std::string_view::npos) {
                Append(text.substr(position));
                break;
            }
            Append(text.substr(position, percent - position));
            Append("%%");
            position = percent + 1;
        }
    }

    void AppendShortForm(std::size_t number, MessageArgumentKind kind) {
        Append("%" + std::to_string(number));
        shortFormEnd = output.size();
        shortFormConversion = ExplicitConversion(kind);
    }

    // Removes white space at the end of what this writer wrote, never the caller's text.
    void TrimTrailingSpace() {
        while (output.size() > start && IsWhiteSpace(output.back())) {
            output.pop_back();
        }
    }

private:
    std::string& output;
    std::size_t start;
    std::size_t shortFormEnd = std::string::npos;
    const char* shortFormConversion = "s";
};

void AppendCount(std::string& text, const DirectiveCount& count) {
    if (count.kind == DirectiveCount::Kind::Literal) {
        text += std::to_string(count.literal);
    } else if (count.kind == DirectiveCount::Kind::Star) {
        text += '*';
        text += std::to_string(count.argument);
        text += '$';
    }
}

// A directive that took any argument by position in this template would take a
// different one in the positional template, where the placeholders before it are
// numbered; so it is written with every argument named.
std::string RawConversionSpec(const char* directiveText, const PositionalDirective& directive) {
    bool sequential = !directive.explicitArgument ||
                      (directive.width.kind == DirectiveCount::Kind::Star && !directive.width.explicitArgument) ||
                      (directive.precision.kind == DirectiveCount::Kind::Star &&
                       !directive.precision.explicitArgument);
    if (!sequential || directive.TooLong()) {
        return std::string(directiveText, directive.length);
    }
    std::string text = "%" + std::to_string(directive.argument) + "$";
    char flags[8];
    text.append(flags, WriteFlagText(directive.flags, flags));
    AppendCount(text, directive.width);
    if (directive.precision.kind != DirectiveCount::Kind::None) {
        text += '.';
        AppendCount(text, directive.precision);
    }
    text += LengthModifierText(directive.lengthModifier);
    if (directive.conversion != '\0') {
        text += directive.conversion;
    }
    return text;
}

void Complete(Placeholder& placeholder, std::size_t number, const MessageArgument* arguments, std::size_t count,
              PositionalWriter& writer, MessageFields& fields) {
    if (number == 0 || number > count) {
        return;
    }
    const MessageArgument& value = arguments[number - 1];
    if (placeholder.typed && !HasTypeSuffix(placeholder.name)) {
        placeholder.name += KindSuffix(value.Kind());
    }
    if (placeholder.conditional && value.IsEmpty()) {
        writer.AppendLiteral(placeholder.alternative);
        return;
    }
    if (!placeholder.name.empty()) {
        fields.insert_or_assign(placeholder.name, value);
    }
    if (placeholder.silent) {
        writer.TrimTrailingSpace();
    } else if (placeholder.raw && placeholder.shortForm) {
        writer.AppendShortForm(number, value.Kind());
    } else if (placeholder.raw) {
        writer.Append(placeholder.spec);
    } else if (placeholder.specified && !placeholder.spec.empty()) {
        std::string spec = placeholder.spec;
        if (LacksConversion(spec)) {
            spec += DefaultConversion(value.Kind());
        }
        writer.Append("%" + std::to_string(number) + "$" + spec);
    } else {
        writer.AppendShortForm(number, value.Kind());
    }
}

}  // namespace

void FormatStructured(const char* templateText, const MessageArgument* arguments, std::size_t count,
                      std::string& output, MessageFields& fields) {
    if (arguments == nullptr) {
        count = 0;
    }
    fields.reserve(fields.size() + count);
    PositionalWriter writer(output);
    const char* text = templateText != nullptr ? templateText : "";
    std::size_t running = 1;
    std::size_t position = 0;

    while (text[position] != '\0') {
        char c = text[position];
        if (c == '%') {
            if (text[position + 1] == '%') {
                writer.Append("%%");
                position += 2;
                continue;
            }
            std::size_t sequential = running;
            PositionalDirective directive = ParsePositionalDirective(text + position, count, sequential);
            Placeholder placeholder;
            placeholder.raw = true;
            placeholder.shortForm = directive.shortForm;
            placeholder.spec = RawConversionSpec(text + position, directive);
            Complete(placeholder, directive.argument, arguments, count, writer, fields);
            running = directive.argument + 1;
            position += directive.length;
            continue;
        }
        if (c == '}') {
            writer.Append("}");
            position += text[position + 1] == '}' ? 2 : 1;
            continue;
        }
        if (c != '{') {
            std::size_t end = position;
            while (text[end] != '\0' && text[end] != '%' && text[end] != '{' && text[end] != '}') {
                ++end;
            }
            writer.Append(std::string_view(text + position, end - position));
            position = end;
            continue;
        }
        if (text[position + 1] == '{') {
            writer.Append("{");
            position += 2;
            continue;
        }

        Placeholder placeholder;
        ++position;
        if (text[position] == '#') {
            placeholder.typed = true;
            ++position;
        }
        std::string* current = &placeholder.name;
        bool closed = false;
        while (text[position] != '\0' && !closed) {
            char inside = text[position++];
            switch (inside) {
            case '!': placeholder.silent = true; break;
            case '?':
                placeholder.conditional = true;
                current = &placeholder.alternative;
                break;
            case ':':
                placeholder.specified = true;
                current = &placeholder.spec;
                break;
            case '\\':
                if (text[position] != '\0') {
                    current->push_back(text[position++]);
                }
                break;
            case '{': break;
            case '}': closed = true; break;
            default: current->push_back(inside); break;
            }
        }
        if (!closed) {
            break;  // the template ended inside a placeholder: it is dropped
        }
        Complete(placeholder, running, arguments, count, writer, fields);
        ++running;
    }
}

StructuredMessage FormatStructuredMessage(const char* templateText, const MessageArgument* arguments,
                                          std::size_t count) {
    StructuredMessage message;
    std::string positional;
    FormatStructured(templateText, arguments, count, positional, message.fields);
    std::vector<FormatArgument> formatArguments = ToFormatArguments(arguments, count);
    message.text = FormatPositionalString(positional.c_str(), formatArguments.data(), formatArguments.size());
    return message;
}

StructuredMessage FormatStructuredMessage(const char* templateText,
                                          std::initializer_list<MessageArgument> arguments) {
    return FormatStructuredMessage(templateText, arguments.begin(), arguments.size());
}

}  // namespace Kesh
