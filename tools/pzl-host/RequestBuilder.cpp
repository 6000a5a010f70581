#include "tools/pzl-host/RequestBuilder.h"

#include <limits>
#include <set>

#include "binding/TypeKind.h"
#include "tools/pzl-host/FunctionCall.h"
#include "tools/pzl-host/SafeMemory.h"
#include "tools/pzl-host/ValueJson.h"

namespace Kesh::StandIn {
namespace {

const TypeDescriptionRecord* FindType(const ApiTable& table, const std::string& name) {
    if (name.empty() || table.types == nullptr || !Readable(table.types, sizeof(TypeDescriptionRecord) * table.typeCount))
        return nullptr;
    for (std::uint32_t i = 0; i < table.typeCount; ++i) {
        if (ReadText(table.types[i].name).value_or("") == name) return &table.types[i];
    }
    return nullptr;
}

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t word = (std::uint32_t{bytes[i]} << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0u) |
                                   (i + 2 < bytes.size() ? bytes[i + 2] : 0u);
        text += kDigits[(word >> 18) & 63];
        text += kDigits[(word >> 12) & 63];
        text += i + 1 < bytes.size() ? kDigits[(word >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? kDigits[word & 63] : '=';
    }
    return text;
}

std::string Word(std::mt19937_64& rng) {
    static const char* const kWords[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot"};
    return std::string(kWords[rng() % 6]) + std::to_string(rng() % 100);
}

}  // namespace

BindingProperty GenerateValue(const ApiTable& table, std::uint32_t kind, std::uint32_t elementKind,
                              const std::string& typeName, std::mt19937_64& rng, int depth) {
    BindingProperty value;
    switch (static_cast<TypeKind>(kind)) {
    case TypeKind::Bool: value = (rng() % 2) == 0; break;
    case TypeKind::Int8:
    case TypeKind::Int16:
    case TypeKind::Int32:
    case TypeKind::Int64: value.AssignSigned(static_cast<std::int64_t>(rng() % 200) - 100); break;
    case TypeKind::UInt8:
    case TypeKind::UInt16:
    case TypeKind::UInt32:
    case TypeKind::UInt64: value.AssignUnsigned(rng() % 200); break;
    case TypeKind::Float:
    case TypeKind::Double: value = static_cast<double>(rng() % 2000) / 8.0 - 125.0; break;
    case TypeKind::String: value = Word(rng); break;
    case TypeKind::Blob: value = std::vector<std::uint8_t>{1, 2, static_cast<std::uint8_t>(rng())}; break;
    case TypeKind::Object: value["word"] = Word(rng); break;
    case TypeKind::Vector: {
        value.MakeCollection();
        const std::size_t count = depth > 3 ? 0 : rng() % 4;
        for (std::size_t i = 0; i < count; ++i) value.Append() = GenerateValue(table, elementKind, 0, typeName, rng, depth + 1);
        break;
    }
    case TypeKind::Map: {
        value.MakeStructure();
        const std::size_t count = depth > 3 ? 0 : rng() % 3;
        for (std::size_t i = 0; i < count; ++i) value[Word(rng)] = GenerateValue(table, elementKind, 0, typeName, rng, depth + 1);
        break;
    }
    case TypeKind::Enum: {
        const TypeDescriptionRecord* type = FindType(table, typeName);
        if (type != nullptr && type->enumerators != nullptr && type->memberCount > 0 &&
            Readable(type->enumerators, sizeof(EnumeratorDescriptionRecord) * type->memberCount)) {
            value = ReadText(type->enumerators[rng() % type->memberCount].name).value_or("");
        }
        break;
    }
    case TypeKind::Struct: {
        value.MakeStructure();
        const TypeDescriptionRecord* type = FindType(table, typeName);
        if (type == nullptr || type->fields == nullptr || depth > 3 ||
            !Readable(type->fields, sizeof(FieldDescriptionRecord) * type->memberCount))
            break;
        for (std::uint32_t i = 0; i < type->memberCount; ++i) {
            const FieldDescriptionRecord& field = type->fields[i];
            value[ReadText(field.name).value_or("")] = GenerateValue(table, field.kind, field.elementKind,
                                                                     ReadText(field.typeName).value_or(""), rng, depth + 1);
        }
        break;
    }
    default: break;
    }
    return value;
}

bool BuildValidCall(const ApiTable& table, const ApiFunctionRecord& record, bool withOptional, std::mt19937_64& rng,
                    FunctionCall& call, std::string& error, const std::string& leaveOut) {
    call = FunctionCall{};
    call.function = ReadText(record.name).value_or("");
    if (record.parameterCount > 0 &&
        (record.parameters == nullptr || !Readable(record.parameters, sizeof(ParameterDescriptionRecord) * record.parameterCount))) {
        error = "its parameter records cannot be read";
        return false;
    }
    for (std::uint32_t i = 0; i < record.parameterCount; ++i) {
        const ParameterDescriptionRecord& parameter = record.parameters[i];
        if (parameter.optional != 0 && !withOptional) continue;
        const std::string name = ReadText(parameter.name).value_or("");
        // A path segment must not be empty, or the URL would match nothing.
        BindingProperty value = GenerateValue(table, parameter.kind, parameter.elementKind,
                                              ReadText(parameter.typeName).value_or(""), rng);
        if (parameter.location == 2 && value.Kind() == PropertyKind::String && value.Size() == 0) value = Word(rng);
        if (name != leaveOut) call.arguments.emplace_back(name, std::move(value));
    }
    // A function that takes any method is called as most clients would.
    if (record.method == 0) call.method = "POST";
    return CompleteFromRecord(record, call, error);
}

std::string RequestText(const FunctionCall& call) {
    std::string text = (call.method.empty() ? std::string("(any method)") : call.method) + " " +
                       (call.url.empty() ? call.function : call.url);
    if (!call.arguments.empty()) {
        BindingProperty arguments;
        arguments.MakeStructure();
        for (const auto& [name, value] : call.arguments) arguments[name] = value;
        text += " arguments " + ToJson(arguments);
    }
    for (const auto& [name, value] : call.headers) text += " header " + name + ": " + value;
    if (!call.body.empty() || !call.contentType.empty()) {
        text += " body (" + call.contentType + ") " + call.body.substr(0, 200);
    }
    return text;
}

bool ValueHasKind(const BindingProperty& value, std::uint32_t kind) {
    const PropertyKind is = value.Kind();
    const bool number = is == PropertyKind::Signed || is == PropertyKind::Unsigned;
    switch (static_cast<TypeKind>(kind)) {
    case TypeKind::None:
    case TypeKind::Object:
    case TypeKind::Callback: return true;
    case TypeKind::Bool: return is == PropertyKind::Bool;
    case TypeKind::Int8:
    case TypeKind::UInt8:
    case TypeKind::Int16:
    case TypeKind::UInt16:
    case TypeKind::Int32:
    case TypeKind::UInt32:
    case TypeKind::Int64:
    case TypeKind::UInt64: return number;
    case TypeKind::Float:
    case TypeKind::Double: return number || is == PropertyKind::Float;
    case TypeKind::String: return is == PropertyKind::String;
    case TypeKind::Blob: return is == PropertyKind::Blob || is == PropertyKind::String;
    case TypeKind::Vector: return is == PropertyKind::Collection;
    // An enum travels by its enumerator's name, or by its number when it has none.
    case TypeKind::Enum: return is == PropertyKind::Enum || is == PropertyKind::String || number;
    case TypeKind::Struct:
    case TypeKind::Map: return is == PropertyKind::Structure;
    }
    return true;
}

std::string ValueTypeFault(const ApiTable& table, const BindingProperty& value, std::uint32_t kind,
                           std::uint32_t elementKind, const std::string& typeName) {
    const PropertyKind is = value.Kind();
    const std::string declared = typeName.empty() ? std::string(TypeKindName(kind)) : typeName;
    if (kind == 0) return is == PropertyKind::Empty ? "" : "a value where it declares none";
    if (!ValueHasKind(value, kind))
        return "a value of kind " + std::string(PropertyKindName(is)) + " where it declares " + TypeKindName(kind);
    switch (static_cast<TypeKind>(kind)) {
    case TypeKind::Vector:
    case TypeKind::Map: {
        if (elementKind == 0) return "";
        std::size_t index = 0;
        auto element = [&](const BindingProperty& item, const std::string& where) -> std::string {
            if (item.Kind() == PropertyKind::Empty) return "";
            // The element's own type is the vector's or map's referenced type.
            std::string fault = ValueTypeFault(table, item, elementKind, 0, typeName);
            return fault.empty() ? "" : where + ": " + fault;
        };
        if (is == PropertyKind::Collection) {
            for (const BindingProperty& item : value.Elements()) {
                std::string fault = element(item, "element " + std::to_string(index++));
                if (!fault.empty()) return fault;
            }
        } else {
            for (const MemberNode& member : value.Members()) {
                std::string fault = element(member.Value(), "member " + std::string(member.KeyView()));
                if (!fault.empty()) return fault;
            }
        }
        return "";
    }
    case TypeKind::Enum: {
        if (is != PropertyKind::String) return "";  // a number without an enumerator
        const TypeDescriptionRecord* type = FindType(table, typeName);
        if (type == nullptr || type->enumerators == nullptr ||
            !Readable(type->enumerators, sizeof(EnumeratorDescriptionRecord) * type->memberCount))
            return "";
        for (std::uint32_t i = 0; i < type->memberCount; ++i)
            if (ReadText(type->enumerators[i].name).value_or("") == value.GetStringView()) return "";
        return "\"" + std::string(value.GetStringView()) + "\", which is no enumerator of " + declared;
    }
    case TypeKind::Struct: {
        const TypeDescriptionRecord* type = FindType(table, typeName);
        if (type == nullptr || type->fields == nullptr ||
            !Readable(type->fields, sizeof(FieldDescriptionRecord) * type->memberCount))
            return "";
        std::set<std::string> fields;
        for (std::uint32_t i = 0; i < type->memberCount; ++i) {
            const FieldDescriptionRecord& field = type->fields[i];
            const std::string name = ReadText(field.name).value_or("");
            fields.insert(name);
            const BindingProperty& member = value.GetMember(name);
            if (member.Kind() == PropertyKind::Empty) {
                if (field.optional == 0 && field.kind != static_cast<std::uint32_t>(TypeKind::Object) &&
                    !value.HasMember(name))
                    return declared + " without its field " + name;
                continue;
            }
            std::string fault = ValueTypeFault(table, member, field.kind, field.elementKind, ReadText(field.typeName).value_or(""));
            if (!fault.empty()) return "field " + name + " of " + declared + ": " + fault;
        }
        for (const MemberNode& member : value.Members()) {
            if (fields.count(std::string(member.KeyView())) == 0)
                return declared + " with the member " + std::string(member.KeyView()) + ", which is none of its fields";
        }
        return "";
    }
    default: return "";
    }
}

std::string TextArgument(const BindingProperty& value) {
    if (value.Kind() == PropertyKind::String) return std::string(value.GetStringView());
    if (value.Kind() == PropertyKind::Blob) return Base64(value.GetBlob());
    return ToJson(value);
}

bool TemplatePlaceholders(const std::string& urlTemplate, std::vector<std::string>& names, std::string& error) {
    names.clear();
    std::size_t at = 0;
    while ((at = urlTemplate.find('{', at)) != std::string::npos) {
        const std::size_t close = urlTemplate.find('}', at);
        if (close == std::string::npos) {
            error = "its URL template " + urlTemplate + " has a { that is never closed";
            return false;
        }
        std::string name = urlTemplate.substr(at + 1, close - at - 1);
        if (!name.empty() && (name[0] == '+' || name[0] == '#')) name.erase(0, 1);
        names.push_back(std::move(name));
        at = close + 1;
    }
    return true;
}

std::string TemplateShape(const std::string& urlTemplate) {
    std::string shape;
    std::size_t at = 0;
    while (at < urlTemplate.size()) {
        const std::size_t open = urlTemplate.find('{', at);
        const std::size_t close = open == std::string::npos ? std::string::npos : urlTemplate.find('}', open);
        if (close == std::string::npos) {
            shape += urlTemplate.substr(at);
            break;
        }
        shape += urlTemplate.substr(at, open - at) + "{";
        if (close > open + 1 && (urlTemplate[open + 1] == '+' || urlTemplate[open + 1] == '#')) shape += urlTemplate[open + 1];
        shape += "}";
        at = close + 1;
    }
    return shape;
}

}  // namespace Kesh::StandIn
