#include "tools/pzl-host/RequestBuilder.h"

#include <limits>

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

}  // namespace Kesh::StandIn
