#include "api/ArgumentBinder.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "api/FunctionBinding.h"
#include "api/UrlDecode.h"
#include "binding/FunctionRecord.h"
#include "binding/HostValueConversion.h"
#include "formats/JsonReader.h"
#include "formats/MessagePackReader.h"
#include "formats/YamlReader.h"
#include "log/FormatPositional.h"
#include "runtime/HostRequest.h"

namespace Kesh {
namespace {

constexpr const char* kUnknownArgument = "Unknown argument '%1' for '%2'.";
constexpr const char* kInvalidLocation = "Argument '%1' for '%2' was specified in an invalid location.";
constexpr const char* kExpectedValue = "Expected value for argument '%1'.";
constexpr const char* kIndexFormat = "Index %1 is in an incorrect format";
constexpr const char* kIndexRange = "Index %1 is out of range";
constexpr const char* kMessagePackFailed = "Couldn't deserialize MessagePack value for parameter '%1' of '%2': %3";
constexpr const char* kJsonFailed = "Couldn't deserialize JSON value for parameter '%1' of '%2': %3";
constexpr const char* kYamlFailed = "Couldn't deserialize YAML value for parameter '%1' of '%2': %3";
constexpr const char* kUnsupportedContentType = "Unsupported body content type";
constexpr const char* kExtraMessagePack = "Extra MessgePack data found in body";

bool IsContainer(TypeKind kind) {
    return kind == TypeKind::Object || kind == TypeKind::Vector || kind == TypeKind::Struct || kind == TypeKind::Map;
}

bool StartsWithIgnoringCase(const char* text, std::string_view prefix) {
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if (c == '\0') return false;
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != prefix[i]) return false;
    }
    return true;
}

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// A text of at most length bytes that ends at its first NUL.
std::string BoundedText(const std::uint8_t* bytes, std::uint32_t length) {
    const void* nul = std::memchr(bytes, 0, length);
    const std::size_t size = nul == nullptr ? length : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - bytes);
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

// Reads an element index with automatic base: 0x or 0X hexadecimal, another leading 0
// octal, else decimal. Returns false with the message set.
bool ReadIndex(CallResult& result, std::string_view segment, std::size_t& index) {
    std::size_t i = 0;
    unsigned base = 10;
    if (segment.size() >= 2 && segment[0] == '0' && (segment[1] == 'x' || segment[1] == 'X')) {
        base = 16;
        i = 2;
    } else if (segment.size() >= 2 && segment[0] == '0') {
        base = 8;
        i = 1;
    }
    const std::string text(segment);
    if (i == segment.size()) {
        // "0x" alone reads no digits.
        result.Fail(FormatPositionalString(kIndexFormat, {text}));
        return false;
    }
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < segment.size(); ++i) {
        const char c = segment[i];
        unsigned digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            digit = 99;
        }
        if (digit >= base) {
            result.Fail(FormatPositionalString(kIndexFormat, {text}));
            return false;
        }
        if (value > (UINT64_MAX - digit) / base) {
            overflow = true;
        } else if (!overflow) {
            value = value * base + digit;
        }
    }
    if (overflow || value >= 2147483648u || value >= kMaxBoundElements) {
        result.Fail(FormatPositionalString(kIndexRange, {text}));
        return false;
    }
    index = static_cast<std::size_t>(value);
    return true;
}

class Binder {
public:
    Binder(CallResult& result, std::vector<BindingProperty>& arguments, const FunctionRecord& function,
           const FunctionBinding& binding)
        : result_(result), arguments_(arguments), function_(function), binding_(binding) {
        for (std::size_t i = 0; i < function.arguments.size(); ++i) {
            names_.try_emplace(function.arguments[i].name, i);
        }
    }

    void BindText(std::string_view key, std::string_view text, ArgumentLocation source) {
        if (!result_.Ok()) return;
        const std::size_t dot = key.find('.');
        const std::string_view name = key.substr(0, dot);
        const std::size_t index = Find(name);
        if (index == kNone) {
            result_.Fail(FormatPositionalString(kUnknownArgument, {name, function_.name}));
            return;
        }
        const ArgumentLocation location = Location(index);
        if (location != ArgumentLocation::Any && location != source) {
            result_.Fail(FormatPositionalString(kInvalidLocation, {name, function_.name}));
            return;
        }
        const FunctionArgument& argument = function_.arguments[index];
        BindingProperty& value = arguments_[index];
        if (dot != std::string_view::npos) {
            WalkMembers(value, key.substr(dot + 1), text);
            return;
        }
        if (text.empty()) {
            switch (argument.type.kind) {
            case TypeKind::Bool:
                value = true;
                return;
            case TypeKind::Object:
            case TypeKind::Struct:
            case TypeKind::Map:
                value.Clear();
                value.MakeStructure();
                return;
            case TypeKind::Vector:
                value.Clear();
                value.MakeCollection();
                return;
            default:
                result_.Fail(FormatPositionalString(kExpectedValue, {argument.name}));
                return;
            }
        }
        TextToValue(result_, value, argument.name, function_.name, text, IsContainer(argument.type.kind));
    }

    void BindTyped(const HostRequest& request, std::size_t capturedCount) {
        if (request.arguments == nullptr) return;
        for (std::uint32_t i = 0; i < request.argumentCount && result_.Ok(); ++i) {
            const HostArgument& typed = request.arguments[i];
            std::size_t index;
            std::string label;
            if (typed.name != nullptr) {
                label = typed.name;
                index = Find(label);
            } else {
                const std::size_t position = std::size_t{i} + capturedCount;
                label = std::to_string(position);
                index = position < arguments_.size() ? position : kNone;
            }
            if (index == kNone) {
                result_.Fail(FormatPositionalString(kUnknownArgument, {label, function_.name}));
                return;
            }
            HostResultHead failure{};
            if (!FromHostValue(typed.value, arguments_[index], typed.name != nullptr ? typed.name : "", failure)) {
                result_.Fail(failure.errorText != nullptr ? failure.errorText : "");
                failure.Release();
                return;
            }
        }
    }

    void BindBody(const HostRequest& request) {
        if (!result_.Ok() || request.body == nullptr) return;
        for (std::size_t i = 0; i < arguments_.size(); ++i) {
            if (Location(i) != ArgumentLocation::Body) continue;
            ConversionResult decoded = DecodeBody(request.contentType, request.body, request.bodyLength);
            if (!decoded.Ok()) {
                result_.Fail(decoded.ErrorMessage());
                return;
            }
            arguments_[i] = std::move(decoded.Value());
            return;
        }
    }

    ArgumentLocation Location(std::size_t index) const {
        return index < binding_.locations.size() ? binding_.locations[index] : ArgumentLocation::Any;
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    std::size_t Find(std::string_view name) const {
        auto found = names_.find(std::string(name));
        return found == names_.end() ? kNone : found->second;
    }

    // Walks "a.0x2.b" from value, turning each step into the container it needs, and
    // puts the text at the end; the last segment names the value in messages.
    void WalkMembers(BindingProperty& value, std::string_view path, std::string_view text) {
        BindingProperty* current = &value;
        std::string_view segment;
        for (;;) {
            const std::size_t dot = path.find('.');
            segment = path.substr(0, dot);
            if (!segment.empty() && segment[0] >= '0' && segment[0] <= '9') {
                std::size_t index = 0;
                if (!ReadIndex(result_, segment, index)) return;
                if (current->Kind() != PropertyKind::Collection) {
                    current->Clear();
                    current->MakeCollection();
                }
                current = &current->Element(index);
            } else {
                if (current->Kind() != PropertyKind::Structure) {
                    current->Clear();
                    current->MakeStructure();
                }
                current = &current->Member(segment);
            }
            if (dot == std::string_view::npos) break;
            path.remove_prefix(dot + 1);
        }
        TextToValue(result_, *current, segment, function_.name, text, false);
    }

    CallResult& result_;
    std::vector<BindingProperty>& arguments_;
    const FunctionRecord& function_;
    const FunctionBinding& binding_;
    std::unordered_map<std::string, std::size_t> names_;
};

// The query string split at "&" (empty pieces included) into decoded pairs.
TextMap QueryArguments(std::string_view query) {
    TextMap pairs;
    if (query.empty()) return pairs;
    for (;;) {
        const std::size_t amp = query.find('&');
        const std::string_view piece = query.substr(0, amp);
        const std::size_t equals = piece.find('=');
        if (equals == std::string_view::npos) {
            pairs.Set(UrlDecode(piece), std::string());
        } else {
            pairs.Set(UrlDecode(piece.substr(0, equals)), UrlDecode(piece.substr(equals + 1)));
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return pairs;
}

}  // namespace

void TextToValue(CallResult& result, BindingProperty& target, std::string_view name, std::string_view functionName,
                 std::string_view text, bool container) {
    if (container && !text.empty()) {
        const auto first = static_cast<unsigned char>(text[0]);
        if ((first >= 0x80 && first <= 0x9F) || (first >= 0xDC && first <= 0xDF)) {
            ConversionResult read = ReadMessagePack(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
            if (!read.Ok()) {
                result.Fail(FormatPositionalString(kMessagePackFailed, {name, functionName, read.ErrorMessage()}));
                return;
            }
            target = std::move(read.Value());
            return;
        }
        const std::size_t start = text.find_first_not_of(" \t\r\n");
        if (start != std::string_view::npos && (text[start] == '{' || text[start] == '[')) {
            ConversionResult read = ParseJson(std::string(text));
            if (!read.Ok()) {
                result.Fail(FormatPositionalString(kJsonFailed, {name, functionName, read.ErrorMessage()}));
                return;
            }
            target = std::move(read.Value());
            return;
        }
        if (start != std::string_view::npos && text.substr(start, 3) == "---") {
            ConversionResult read = ReadYaml(text);
            if (!read.Ok()) {
                result.Fail(FormatPositionalString(kYamlFailed, {name, functionName, read.ErrorMessage()}));
                return;
            }
            target = std::move(read.Value());
            return;
        }
    }
    target.AssignString(text);
}

ConversionResult DecodeBody(const char* contentType, const std::uint8_t* body, std::uint32_t length) {
    if (contentType == nullptr) return ConversionResult::Failure(kUnsupportedContentType);
    if (StartsWithIgnoringCase(contentType, "application/x-msgpack")) {
        std::size_t consumed = 0;
        ConversionResult read = ReadMessagePack(body, length, &consumed);
        if (read.Ok() && consumed < length) return ConversionResult::Failure(kExtraMessagePack);
        return read;
    }
    if (StartsWithIgnoringCase(contentType, "application/json") ||
        StartsWithIgnoringCase(contentType, "application/vnd.api+json")) {
        return ParseJson(BoundedText(body, length));
    }
    if (StartsWithIgnoringCase(contentType, "application/x-yaml")) {
        return ReadYaml(BoundedText(body, length));
    }
    return ConversionResult::Failure(kUnsupportedContentType);
}

void BindArguments(CallResult& result, std::vector<BindingProperty>& arguments, const FunctionRecord& function,
                   const FunctionBinding& binding, const ParsedRequest& parsed, const HostRequest& request) {
    arguments.clear();
    arguments.resize(function.arguments.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (function.arguments[i].type.kind == TypeKind::Bool && !function.arguments[i].optional) {
            arguments[i] = false;
        }
    }
    Binder binder(result, arguments, function, binding);

    if (request.headers != nullptr && request.headerCount > 0) {
        TextMap headers;
        for (std::uint32_t i = 0; i < request.headerCount; ++i) {
            const HostHeader& header = request.headers[i];
            if (header.name == nullptr) continue;
            headers.Set(header.name, header.value != nullptr ? header.value : "");
        }
        for (std::size_t i = 0; i < arguments.size() && result.Ok(); ++i) {
            const ArgumentLocation location = binder.Location(i);
            if (location != ArgumentLocation::Any && location != ArgumentLocation::Header) continue;
            const std::string& name = function.arguments[i].name;
            if (const std::string* value = headers.Find(LowerCase(name))) {
                binder.BindText(name, *value, ArgumentLocation::Header);
            }
        }
    }
    for (const auto& [name, text] : parsed.pathArguments) {
        binder.BindText(name, text, ArgumentLocation::Path);
    }
    if (result.Ok()) {
        const TextMap query = QueryArguments(parsed.Query());
        for (const auto& [key, text] : query) {
            binder.BindText(key, text, ArgumentLocation::Query);
        }
    }
    if (result.Ok()) binder.BindTyped(request, parsed.pathArguments.Size());
    binder.BindBody(request);
}

}  // namespace Kesh
