#include "log/MessageArgument.h"

namespace Kesh {

bool MessageArgument::IsEmpty() const {
    switch (kind) {
    case MessageArgumentKind::Bool: return !BoolValue();
    case MessageArgumentKind::SignedInteger: return SignedValue() == 0;
    case MessageArgumentKind::UnsignedInteger: return UnsignedValue() == 0;
    case MessageArgumentKind::Double: return DoubleValue() == 0.0;
    case MessageArgumentKind::String: return text.empty();
    case MessageArgumentKind::None: break;
    }
    return true;
}

FormatArgument MessageArgument::ToFormatArgument() const {
    switch (kind) {
    case MessageArgumentKind::Bool: return FormatArgument(BoolValue());
    case MessageArgumentKind::SignedInteger: return FormatArgument(SignedValue());
    case MessageArgumentKind::UnsignedInteger: return FormatArgument(UnsignedValue());
    case MessageArgumentKind::Double: return FormatArgument(DoubleValue());
    case MessageArgumentKind::String: return FormatArgument(text);
    case MessageArgumentKind::None: break;
    }
    return FormatArgument(std::string_view());
}

bool MessageArgument::operator==(const MessageArgument& other) const {
    if (kind != other.kind) {
        return false;
    }
    switch (kind) {
    case MessageArgumentKind::Bool: return BoolValue() == other.BoolValue();
    case MessageArgumentKind::SignedInteger:
    case MessageArgumentKind::UnsignedInteger: return UnsignedValue() == other.UnsignedValue();
    case MessageArgumentKind::Double: return DoubleValue() == other.DoubleValue();
    case MessageArgumentKind::String: return text == other.text;
    case MessageArgumentKind::None: break;
    }
    return true;
}

std::vector<FormatArgument> ToFormatArguments(const MessageArgument* arguments, std::size_t count) {
    std::vector<FormatArgument> converted;
    if (arguments == nullptr) {
        return converted;
    }
    converted.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        converted.push_back(arguments[i].ToFormatArgument());
    }
    return converted;
}

}  // namespace Kesh
