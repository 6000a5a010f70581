#include "tools/pzl-host/OpenApi.h"

#include <rapidjson/document.h>
#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <cstdint>
#include <limits>
#include <set>

#include "binding/ApiDescription.h"
#include "binding/TypeKind.h"
#include "runtime/ApiTable.h"
#include "runtime/HttpMethod.h"
#include "tools/pzl-host/SafeMemory.h"

namespace Kesh::StandIn {
namespace {

using rapidjson::Value;
using Allocator = rapidjson::Document::AllocatorType;

// The error reply's schema name, shared by every operation.
constexpr const char* kErrorSchema = "PzlError";
// The content types the dispatcher reads a body parameter from.
constexpr const char* kBodyTypes[] = {"application/json", "application/x-msgpack", "application/x-yaml"};

std::string Text(const char* address) { return ReadText(address).value_or(""); }

template <typename Record>
bool Usable(const Record* records, std::uint32_t count) {
    return count == 0 || (records != nullptr && count < 100000 && Readable(records, sizeof(Record) * count));
}

class Builder {
public:
    explicit Builder(rapidjson::Document& document) : a_(document.GetAllocator()) {}

    Value Str(const std::string& text) { return Value(text.c_str(), static_cast<rapidjson::SizeType>(text.size()), a_); }

    void Set(Value& object, const char* key, Value value) {
        if (object.HasMember(key)) object[key] = value;
        else object.AddMember(Str(key), value, a_);
    }
    void Set(Value& object, const char* key, const std::string& text) { Set(object, key, Str(text)); }

    // A member object, made when missing.
    Value& Child(Value& object, const std::string& key) {
        auto found = object.FindMember(key.c_str());
        if (found != object.MemberEnd()) return found->value;
        object.AddMember(Str(key), Value(rapidjson::kObjectType), a_);
        return object[key.c_str()];
    }

    static void Range(Value& schema, std::int64_t low, std::uint64_t high, Allocator& a) {
        schema.AddMember("minimum", Value(low), a);
        schema.AddMember("maximum", Value(high), a);
    }

    // The schema of one kind; typeName names the struct or enum, or the element type of
    // a vector or map, whose own kind is elementKind.
    Value Schema(std::uint32_t kind, std::uint32_t elementKind, const std::string& typeName) {
        Value schema(rapidjson::kObjectType);
        auto integer = [&](const char* format, std::int64_t low, std::uint64_t high) {
            schema.AddMember("type", "integer", a_);
            schema.AddMember("format", Value(format, a_), a_);
            Range(schema, low, high, a_);
        };
        switch (static_cast<TypeKind>(kind)) {
        case TypeKind::Bool: schema.AddMember("type", "boolean", a_); break;
        case TypeKind::Int8: integer("int8", INT8_MIN, INT8_MAX); break;
        case TypeKind::UInt8: integer("uint8", 0, UINT8_MAX); break;
        case TypeKind::Int16: integer("int16", INT16_MIN, INT16_MAX); break;
        case TypeKind::UInt16: integer("uint16", 0, UINT16_MAX); break;
        case TypeKind::Int32: integer("int32", INT32_MIN, INT32_MAX); break;
        case TypeKind::UInt32: integer("uint32", 0, UINT32_MAX); break;
        case TypeKind::Int64: integer("int64", INT64_MIN, INT64_MAX); break;
        case TypeKind::UInt64: integer("uint64", 0, UINT64_MAX); break;
        case TypeKind::Float:
            schema.AddMember("type", "number", a_);
            schema.AddMember("format", "float", a_);
            break;
        case TypeKind::Double:
            schema.AddMember("type", "number", a_);
            schema.AddMember("format", "double", a_);
            break;
        case TypeKind::String: schema.AddMember("type", "string", a_); break;
        case TypeKind::Blob:
            schema.AddMember("type", "string", a_);
            schema.AddMember("contentEncoding", "base64", a_);
            break;
        case TypeKind::Vector: {
            schema.AddMember("type", "array", a_);
            Value items = elementKind == 0 ? Value(rapidjson::kObjectType) : Schema(elementKind, 0, typeName);
            schema.AddMember("items", items, a_);
            break;
        }
        case TypeKind::Map: {
            schema.AddMember("type", "object", a_);
            Value values = elementKind == 0 ? Value(rapidjson::kObjectType) : Schema(elementKind, 0, typeName);
            schema.AddMember("additionalProperties", values, a_);
            break;
        }
        case TypeKind::Enum:
        case TypeKind::Struct:
            if (!typeName.empty()) {
                schema.AddMember("$ref", Str("#/components/schemas/" + typeName), a_);
                referenced_.insert(typeName);
            }
            break;
        default:
            // Object: any value; none or unknown kinds constrain nothing either.
            break;
        }
        return schema;
    }

    static bool IsContainer(std::uint32_t kind) {
        switch (static_cast<TypeKind>(kind)) {
        case TypeKind::Vector:
        case TypeKind::Map:
        case TypeKind::Struct:
        case TypeKind::Object: return true;
        default: return false;
        }
    }

    Value ErrorResponse(const char* description) {
        Value response(rapidjson::kObjectType);
        response.AddMember("description", Value(description, a_), a_);
        Value content(rapidjson::kObjectType);
        Value json(rapidjson::kObjectType);
        Value schema(rapidjson::kObjectType);
        schema.AddMember("$ref", Str(std::string("#/components/schemas/") + kErrorSchema), a_);
        json.AddMember("schema", schema, a_);
        content.AddMember("application/json", json, a_);
        response.AddMember("content", content, a_);
        return response;
    }

    Value Operation(const ApiFunctionRecord& function, const std::string& operationId) {
        Value operation(rapidjson::kObjectType);
        const std::string name = Text(function.name);
        Set(operation, "operationId", operationId);
        const std::string description = Text(function.description);
        if (!description.empty()) Set(operation, "summary", description);
        const std::string help = Text(function.help);
        if (!help.empty()) Set(operation, "description", help);
        Value tags(rapidjson::kArrayType);
        const std::uint32_t tagCount = function.tagCount;
        const char* const* tagList = function.tags;
        if (Usable(tagList, tagCount)) {
            for (std::uint32_t t = 0; t < tagCount; ++t) {
                const std::string tag = Text(tagList[t]);
                if (!tag.empty()) tags.PushBack(Str(tag), a_);
            }
        }
        if (!tags.Empty()) operation.AddMember("tags", tags, a_);

        Value parameters(rapidjson::kArrayType);
        Value body;
        const std::uint32_t parameterCount = function.parameterCount;
        const ParameterDescriptionRecord* records = function.parameters;
        if (Usable(records, parameterCount)) {
            for (std::uint32_t p = 0; p < parameterCount; ++p) {
                const ParameterDescriptionRecord& record = records[p];
                const std::uint32_t kind = record.kind;
                const std::uint32_t location = record.location;
                const bool optional = record.optional != 0;
                const std::string typeName = Text(record.typeName);
                const std::string parameterDescription = Text(record.description);
                if (kind == static_cast<std::uint32_t>(TypeKind::Callback)) continue;
                Value schema = Schema(kind, record.elementKind, typeName);
                if (location == 5) {
                    body.SetObject();
                    if (!parameterDescription.empty()) Set(body, "description", parameterDescription);
                    Value content(rapidjson::kObjectType);
                    for (const char* type : kBodyTypes) {
                        Value media(rapidjson::kObjectType);
                        media.AddMember("schema", Value(schema, a_), a_);
                        content.AddMember(Value(type, a_), media, a_);
                    }
                    body.AddMember("content", content, a_);
                    body.AddMember("required", !optional, a_);
                    continue;
                }
                Value parameter(rapidjson::kObjectType);
                Set(parameter, "name", Text(record.name));
                const char* in = location == 2 ? "path" : location == 4 ? "header" : "query";
                parameter.AddMember("in", Value(in, a_), a_);
                if (!parameterDescription.empty()) Set(parameter, "description", parameterDescription);
                // A bool left out is false: never required, like an optional one.
                const bool required = location == 2 || (!optional && kind != static_cast<std::uint32_t>(TypeKind::Bool));
                parameter.AddMember("required", required, a_);
                if (location == 0) {
                    // Anywhere: the query, a header or a typed argument of the host.
                    parameter.AddMember("x-pzl-location", "any", a_);
                }
                if (location == 2 && rest_.count(Text(record.name)) != 0) {
                    Set(parameter, "description",
                        (parameterDescription.empty() ? std::string() : parameterDescription + " ") +
                            "May hold slashes: the rest of the path.");
                    parameter.AddMember("x-pzl-rest", true, a_);
                }
                if (IsContainer(kind)) {
                    // Sent as JSON (or MessagePack or YAML) text in the parameter.
                    Value content(rapidjson::kObjectType);
                    Value media(rapidjson::kObjectType);
                    media.AddMember("schema", schema, a_);
                    content.AddMember("application/json", media, a_);
                    parameter.AddMember("content", content, a_);
                } else {
                    parameter.AddMember("schema", schema, a_);
                }
                parameters.PushBack(parameter, a_);
            }
        }
        if (!parameters.Empty()) operation.AddMember("parameters", parameters, a_);
        if (body.IsObject()) operation.AddMember("requestBody", body, a_);

        Value responses(rapidjson::kObjectType);
        Value success(rapidjson::kObjectType);
        const bool isAsync = function.isAsync != 0;
        const std::uint32_t resultKind = isAsync ? function.asyncResultKind : function.returnKind;
        const std::uint32_t resultElement = isAsync ? function.asyncResultElementKind : function.returnElementKind;
        const std::string resultType = Text(isAsync ? function.asyncResultTypeName : function.returnTypeName);
        Value content(rapidjson::kObjectType);
        Value media(rapidjson::kObjectType);
        if (resultKind == 0) {
            // No value: a streamed body (or none), sent as the plugin produces it.
            success.AddMember("description", "A streamed body, or none.", a_);
            Value binary(rapidjson::kObjectType);
            binary.AddMember("type", "string", a_);
            binary.AddMember("format", "binary", a_);
            media.AddMember("schema", binary, a_);
            content.AddMember("application/octet-stream", media, a_);
        } else {
            success.AddMember("description", Str("The result of " + name + "."), a_);
            media.AddMember("schema", Schema(resultKind, resultElement, resultType), a_);
            content.AddMember("application/json", media, a_);
        }
        success.AddMember("content", content, a_);
        responses.AddMember("200", success, a_);
        responses.AddMember("4XX", ErrorResponse("The call failed: a bad argument or the function's own error."), a_);
        responses.AddMember("5XX", ErrorResponse("The function failed."), a_);
        operation.AddMember("responses", responses, a_);
        return operation;
    }

    void Function(Value& paths, const ApiFunctionRecord& function) {
        const std::string name = Text(function.name);
        if (name.empty()) return;
        const std::string urlTemplate = Text(function.urlTemplate);
        rest_.clear();
        for (std::size_t open = urlTemplate.find("{+"); open != std::string::npos; open = urlTemplate.find("{+", open + 1)) {
            const std::size_t close = urlTemplate.find('}', open);
            if (close != std::string::npos) rest_.insert(urlTemplate.substr(open + 2, close - open - 2));
        }
        Value& item = Child(paths, OpenApiPath(urlTemplate, name));
        const std::uint32_t method = function.method;
        if (method == 0) {
            // Any method: listed under each one the host knows; GET keeps the name.
            bool first = true;
            for (const HttpMethod each : {HttpMethod::Get, HttpMethod::Post, HttpMethod::Put, HttpMethod::Delete,
                                          HttpMethod::Patch, HttpMethod::Head, HttpMethod::Options}) {
                std::string key = HttpMethodName(each);
                for (char& c : key) c = static_cast<char>(c - 'A' + 'a');
                if (item.HasMember(key.c_str())) continue;
                Value operation = Operation(function, first ? name : name + "_" + key);
                operation.AddMember("x-pzl-any-method", true, a_);
                first = false;
                Set(item, key.c_str(), std::move(operation));
            }
        } else if (method == static_cast<std::uint32_t>(HttpMethod::Custom)) {
            // OpenAPI 3.1 has no place for other methods: an extension of the path item.
            Value& custom = Child(item, "x-pzl-custom-methods");
            const std::string customName = Text(function.customMethod);
            Value operation = Operation(function, name);
            custom.AddMember(Str(customName), operation, a_);
        } else if (method < 8) {
            std::string key = HttpMethodName(static_cast<HttpMethod>(method));
            for (char& c : key) c = static_cast<char>(c - 'A' + 'a');
            // Two functions on one method and path: the first is the one reached.
            if (!item.HasMember(key.c_str())) Set(item, key.c_str(), Operation(function, name));
        }
    }

    void Components(Value& schemas, const ApiTable& table) {
        if (!Usable(table.types, table.typeCount)) return;
        for (std::uint32_t i = 0; i < table.typeCount; ++i) {
            const TypeDescriptionRecord& type = table.types[i];
            const std::string name = Text(type.name);
            if (name.empty() || schemas.HasMember(name.c_str())) continue;
            Value schema(rapidjson::kObjectType);
            const std::string description = Text(type.description);
            const std::uint32_t count = type.memberCount;
            if (type.fields != nullptr) {
                schema.AddMember("type", "object", a_);
                if (!description.empty()) Set(schema, "description", description);
                Value properties(rapidjson::kObjectType);
                Value required(rapidjson::kArrayType);
                const FieldDescriptionRecord* fields = type.fields;
                if (Usable(fields, count)) {
                    for (std::uint32_t f = 0; f < count; ++f) {
                        const FieldDescriptionRecord& field = fields[f];
                        const std::string fieldName = Text(field.name);
                        if (fieldName.empty() || properties.HasMember(fieldName.c_str())) continue;
                        Value property = Schema(field.kind, field.elementKind, Text(field.typeName));
                        const std::string fieldDescription = Text(field.description);
                        if (!fieldDescription.empty()) Set(property, "description", fieldDescription);
                        properties.AddMember(Str(fieldName), property, a_);
                        if (field.optional == 0) required.PushBack(Str(fieldName), a_);
                    }
                }
                schema.AddMember("properties", properties, a_);
                if (!required.Empty()) schema.AddMember("required", required, a_);
            } else {
                // Replies name an enumerator by its name; a number without one goes as
                // the number. Arguments may be either.
                Value types(rapidjson::kArrayType);
                types.PushBack("string", a_).PushBack("integer", a_);
                schema.AddMember("type", types, a_);
                Set(schema, "description",
                    (description.empty() ? std::string() : description + " ") +
                        "An enumerator's name, or a number (those without a name go as numbers).");
                Value enumerators(rapidjson::kArrayType);
                const EnumeratorDescriptionRecord* records = type.enumerators;
                if (Usable(records, count)) {
                    for (std::uint32_t e = 0; e < count; ++e) {
                        Value enumerator(rapidjson::kObjectType);
                        Set(enumerator, "name", Text(records[e].name));
                        enumerator.AddMember("number", Value(static_cast<std::int32_t>(records[e].number)), a_);
                        enumerators.PushBack(enumerator, a_);
                    }
                }
                schema.AddMember("x-pzl-enumerators", enumerators, a_);
            }
            schemas.AddMember(Str(name), schema, a_);
        }
    }

    // Types referenced but not described still get a schema, so that every $ref resolves.
    void FillMissing(Value& schemas) {
        for (const std::string& name : referenced_) {
            if (schemas.HasMember(name.c_str())) continue;
            Value schema(rapidjson::kObjectType);
            Set(schema, "description", "A type the plugin does not describe.");
            schemas.AddMember(Str(name), schema, a_);
        }
    }

private:
    Allocator& a_;
    std::set<std::string> referenced_;
    std::set<std::string> rest_;
};

}  // namespace

std::string OpenApiPath(const std::string& urlTemplate, const std::string& name) {
    const std::string& source = urlTemplate.empty() ? name : urlTemplate;
    std::string path;
    if (source.empty() || source[0] != '/') path = "/";
    for (std::size_t i = 0; i < source.size(); ++i) {
        if (source[i] == '{' && i + 1 < source.size() && (source[i + 1] == '+' || source[i + 1] == '#')) {
            path += '{';
            ++i;
            continue;
        }
        path += source[i];
    }
    return path;
}

std::string OpenApiDocument(const HostRegistration& record, const std::string& fullName) {
    rapidjson::Document document(rapidjson::kObjectType);
    Allocator& a = document.GetAllocator();
    Builder builder(document);
    document.AddMember("openapi", "3.1.0", a);
    Value info(rapidjson::kObjectType);
    const std::string shortName = Text(record.shortName);
    builder.Set(info, "title", fullName.empty() ? shortName : fullName);
    builder.Set(info, "version",
                std::to_string(record.major) + "." + std::to_string(record.minor) + "." + std::to_string(record.patch));
    builder.Set(info, "description", "The functions the plugin " + shortName + " exposes to the host.");
    document.AddMember("info", info, a);

    Value paths(rapidjson::kObjectType);
    Value components(rapidjson::kObjectType);
    Value schemas(rapidjson::kObjectType);
    const ApiTable* table = record.apiTable;
    if (table != nullptr && Readable(table, sizeof(ApiTable))) {
        if (Usable(table->functions, table->functionCount)) {
            for (std::uint32_t i = 0; i < table->functionCount; ++i) builder.Function(paths, table->functions[i]);
        }
        builder.Components(schemas, *table);
    }
    builder.FillMissing(schemas);
    Value error(rapidjson::kObjectType);
    error.AddMember("type", "object", a);
    builder.Set(error, "description", "An error reply: the plugin's message and the HTTP status it was sent with.");
    Value properties(rapidjson::kObjectType);
    Value message(rapidjson::kObjectType);
    message.AddMember("type", "string", a);
    Value status(rapidjson::kObjectType);
    status.AddMember("type", "integer", a);
    properties.AddMember("message", message, a);
    properties.AddMember("status", status, a);
    error.AddMember("properties", properties, a);
    Value required(rapidjson::kArrayType);
    required.PushBack("message", a).PushBack("status", a);
    error.AddMember("required", required, a);
    schemas.AddMember(Value(kErrorSchema, a), error, a);
    components.AddMember("schemas", schemas, a);

    // pzl-host serve asks for its token in either form.
    Value schemes(rapidjson::kObjectType);
    Value bearer(rapidjson::kObjectType);
    bearer.AddMember("type", "http", a);
    bearer.AddMember("scheme", "bearer", a);
    Value basic(rapidjson::kObjectType);
    basic.AddMember("type", "http", a);
    basic.AddMember("scheme", "basic", a);
    schemes.AddMember("token", bearer, a);
    schemes.AddMember("password", basic, a);
    components.AddMember("securitySchemes", schemes, a);
    Value security(rapidjson::kArrayType);
    Value token(rapidjson::kObjectType);
    token.AddMember("token", Value(rapidjson::kArrayType), a);
    Value password(rapidjson::kObjectType);
    password.AddMember("password", Value(rapidjson::kArrayType), a);
    security.PushBack(token, a).PushBack(password, a);

    document.AddMember("paths", paths, a);
    document.AddMember("components", components, a);
    document.AddMember("security", security, a);

    rapidjson::StringBuffer buffer;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer(buffer);
    writer.SetIndent(' ', 2);
    document.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

}  // namespace Kesh::StandIn
