#include "binding/ScalarAssign.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "binding/Base64.h"
#include "binding/NumberAssign.h"
#include "binding/TypeRecord.h"
#include "binding/TypeRegistry.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

bool IsBase64Character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
           c == '=';
}

// A text that is a whole signed 64-bit number by the signed target's parse.
bool ParseWholeSigned(std::string_view text, std::int64_t& number) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.data(), &end, 0);
    if (errno == ERANGE || end != text.data() + text.size()) {
        return false;
    }
    number = value;
    return true;
}

const char* RecordName(const TypeRecord* record) { return record != nullptr ? record->name.c_str() : ""; }

void SetNotEnumeratorError(ConversionResult& result, const FormatArgument& value, const TypeRecord* record,
                           const char* name) {
    result.SetError(FormatPositionalString("%1 is not a valid %2 enumeration value for '%3'.",
                                           {value, RecordName(record), name}));
}

}  // namespace

bool AssignBool(ConversionResult& result, bool& out, const BindingProperty& input, const char* name) {
    out = false;
    if (!BeginAssign(result, input, name)) {
        return false;
    }
    switch (input.Kind()) {
    case PropertyKind::Bool:
        out = input.ToBool();
        return true;
    case PropertyKind::String: {
        const std::string_view text = input.GetStringView();
        if (text == "1" || text == "true") {
            out = true;
            return true;
        }
        if (text == "0" || text == "false") {
            return true;
        }
        result.SetError(FormatPositionalString(
            "Value %1 for '%2' of type bool is in an incorrect format. Options are \"true\", \"false\", \"1\", \"0\".",
            {text, name}));
        return false;
    }
    default:
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' of type bool because the input is of an invalid type %2.",
            {name, PropertyKindName(input.Kind())}));
        return false;
    }
}

bool AssignString(ConversionResult& result, std::string& out, const BindingProperty& input, const char* name,
                  const TypeRegistry* registry) {
    out.clear();
    if (!BeginAssign(result, input, name)) {
        return false;
    }
    switch (input.Kind()) {
    case PropertyKind::String:
        out.assign(input.GetStringView());
        return true;
    case PropertyKind::Enum: {
        const StaticType* type = input.GetEnumType();
        const TypeRecord* record = registry != nullptr && type != nullptr ? registry->FindType(*type) : nullptr;
        const char* enumerator = TypeRegistry::EnumeratorName(record, input.GetEnumNumber());
        if (enumerator == nullptr) {
            result.SetError(FormatPositionalString("%1 is not a valid enumeration value for '%2'.",
                                                   {input.GetEnumNumber(), name}));
            return false;
        }
        out.assign(enumerator);
        return true;
    }
    default:
        result.SetError(
            FormatPositionalString("Couldn't assign value to '%1' because the input is not a string.", {name}));
        return false;
    }
}

bool AssignBlob(ConversionResult& result, std::vector<std::uint8_t>& out, const BindingProperty& input,
                const char* name) {
    out.clear();
    if (!BeginAssign(result, input, name)) {
        return false;
    }
    switch (input.Kind()) {
    case PropertyKind::String: {
        const std::string_view text = input.GetStringView();
        for (char c : text) {
            if (!IsBase64Character(c)) {
                result.SetError(FormatPositionalString(
                    "Couldn't assign string value to '%1' of type blob because the input has invalid base64 characters.",
                    {name}));
                return false;
            }
        }
        out = DecodeBase64(text);
        return true;
    }
    case PropertyKind::Blob:
        out = input.GetBlob();
        return true;
    default:
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' of type blob because the input is not a blob.", {name}));
        return false;
    }
}

bool AssignObject(ConversionResult& result, BindingProperty& out, const BindingProperty& input) {
    if (!result.Ok()) {
        out.Clear();
        return false;
    }
    // No Clear first: input may live inside out, and the assignment copies it before
    // it releases what out held.
    if (&out != &input) {
        out = input;
    }
    return true;
}

void StoreEnumNumber(void* native, std::size_t size, std::int32_t number) noexcept {
    switch (size) {
    case 1: {
        const auto value = static_cast<std::int8_t>(number);
        std::memcpy(native, &value, sizeof value);
        break;
    }
    case 2: {
        const auto value = static_cast<std::int16_t>(number);
        std::memcpy(native, &value, sizeof value);
        break;
    }
    case 4:
        std::memcpy(native, &number, sizeof number);
        break;
    case 8: {
        const auto value = static_cast<std::int64_t>(number);
        std::memcpy(native, &value, sizeof value);
        break;
    }
    default:
        break;
    }
}

bool AssignEnum(ConversionResult& result, void* native, std::size_t size, const TypeRecord* record,
                const BindingProperty& input, const char* name) {
    StoreEnumNumber(native, size, 0);
    if (!result.Ok()) {
        return false;
    }
    // Numbers are compared on their low 32 bits, the width enumerators are kept in.
    auto accept = [&](std::int64_t number) {
        const auto low = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
        if (!TypeRegistry::HasEnumeratorNumber(record, low)) {
            return false;
        }
        StoreEnumNumber(native, size, low);
        return true;
    };
    switch (input.Kind()) {
    case PropertyKind::Empty:
        SetRequiredError(result, name);
        return false;
    case PropertyKind::Signed:
        if (accept(input.GetSigned())) {
            return true;
        }
        SetNotEnumeratorError(result, input.GetSigned(), record, name);
        return false;
    case PropertyKind::Unsigned:
        if (accept(static_cast<std::int64_t>(input.GetUnsigned()))) {
            return true;
        }
        SetNotEnumeratorError(result, input.GetUnsigned(), record, name);
        return false;
    case PropertyKind::Enum:
        if (accept(input.GetEnumNumber())) {
            return true;
        }
        SetNotEnumeratorError(result, input.GetEnumNumber(), record, name);
        return false;
    case PropertyKind::String: {
        const std::string_view text = input.GetStringView();
        if (const auto number = TypeRegistry::EnumeratorNumber(record, text)) {
            StoreEnumNumber(native, size, *number);
            return true;
        }
        std::int64_t number = 0;
        if (ParseWholeSigned(text, number) && accept(number)) {
            return true;
        }
        SetNotEnumeratorError(result, text, record, name);
        return false;
    }
    default:
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' of enum type because the input is of an invalid type %2.",
            {name, PropertyKindName(input.Kind())}));
        return false;
    }
}

}  // namespace Kesh
