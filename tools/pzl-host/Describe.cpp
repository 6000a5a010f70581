#include "tools/pzl-host/Describe.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdarg>

#include "binding/TypeKind.h"
#include "runtime/HttpMethod.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/OpenApi.h"
#include "tools/pzl-host/PluginSession.h"
#include "tools/pzl-host/Report.h"
#include "tools/pzl-host/SafeMemory.h"

namespace Kesh::StandIn {
namespace {

std::string Text(const char* address) { return ReadText(address).value_or("<unreadable>"); }

// Records are read only as far as they are readable, so a broken table is described
// up to its fault.
template <typename Record>
bool Usable(const Record* records, std::uint32_t count) {
    return count == 0 || (records != nullptr && count < 100000 && Readable(records, sizeof(Record) * count));
}

// "ANY" for a function that accepts every method, the custom method's own name for 8.
std::string MethodText(const ApiFunctionRecord& function) {
    if (function.method == 0) return "ANY";
    if (function.method == static_cast<std::uint32_t>(HttpMethod::Custom)) return Text(function.customMethod);
    const char* name = HttpMethodName(HttpMethodFromHost(function.method));
    return name[0] != '\0' ? name : "method " + std::to_string(function.method);
}

std::string LocationText(std::uint32_t location) {
    switch (location) {
    case 0: return "any";
    case 1: return "query";
    case 2: return "path";
    case 4: return "header";
    case 5: return "body";
    default: return "location " + std::to_string(location);
    }
}

// "int32", "vector of struct SampleItem", "none" for a function without a value.
std::string TypeText(std::uint32_t kind, std::uint32_t elementKind, const char* typeName) {
    if (kind == 0) return "none";
    std::string text = TypeKindName(kind);
    if (elementKind != 0) text += std::string(" of ") + TypeKindName(elementKind);
    const std::string name = Text(typeName);
    if (!name.empty()) text += " " + name;
    return text;
}

template <typename Writer>
void WriteType(Writer& w, std::uint32_t kind, std::uint32_t elementKind, const char* typeName) {
    w.StartObject();
    w.Key("kind");
    w.String(kind == 0 ? "none" : TypeKindName(kind));
    if (elementKind != 0) {
        w.Key("elementKind");
        w.String(TypeKindName(elementKind));
    }
    const std::string name = Text(typeName);
    if (!name.empty()) {
        w.Key("type");
        w.String(name.c_str(), static_cast<rapidjson::SizeType>(name.size()));
    }
    w.EndObject();
}

template <typename Writer>
void WriteTable(Writer& w, const HostRegistration& record, const PluginLibrary& library) {
    auto str = [&](const std::string& text) { w.String(text.c_str(), static_cast<rapidjson::SizeType>(text.size())); };
    w.StartObject();
    w.Key("type");
    w.String("description");
    w.Key("toolVersion");
    w.String(ToolVersion());
    w.Key("library");
    str(library.Path());
    w.Key("export");
    str(library.ExportName());
    w.Key("shortName");
    str(Text(record.shortName));
    w.Key("fullName");
    str(library.FullName(Text(record.shortName)));
    w.Key("version");
    str(std::to_string(record.major) + "." + std::to_string(record.minor) + "." + std::to_string(record.patch));
    const ApiTable* table = record.apiTable;
    const bool tableOk = table != nullptr && Readable(table, sizeof(ApiTable));
    w.Key("types");
    w.StartArray();
    if (tableOk && Usable(table->types, table->typeCount)) {
        for (std::uint32_t i = 0; i < table->typeCount; ++i) {
            const TypeDescriptionRecord& type = table->types[i];
            w.StartObject();
            w.Key("name");
            str(Text(type.name));
            w.Key("nameSpace");
            str(Text(type.nameSpace));
            w.Key("size");
            w.Uint(type.size);
            w.Key("tags");
            w.StartArray();
            if (Usable(type.tags, type.tagCount))
                for (std::uint32_t t = 0; t < type.tagCount; ++t) str(Text(type.tags[t]));
            w.EndArray();
            if (type.fields != nullptr) {
                w.Key("fields");
                w.StartArray();
                if (Usable(type.fields, type.memberCount)) {
                    for (std::uint32_t f = 0; f < type.memberCount; ++f) {
                        const FieldDescriptionRecord& field = type.fields[f];
                        w.StartObject();
                        w.Key("name");
                        str(Text(field.name));
                        w.Key("kind");
                        str(TypeKindName(field.kind));
                        if (field.elementKind != 0) {
                            w.Key("elementKind");
                            str(TypeKindName(field.elementKind));
                        }
                        const std::string typeName = Text(field.typeName);
                        if (!typeName.empty()) {
                            w.Key("type");
                            str(typeName);
                        }
                        w.Key("offset");
                        w.Uint(field.offset);
                        w.Key("optional");
                        w.Bool(field.optional != 0);
                        w.EndObject();
                    }
                }
                w.EndArray();
            } else {
                w.Key("enumerators");
                w.StartArray();
                if (Usable(type.enumerators, type.memberCount)) {
                    for (std::uint32_t e = 0; e < type.memberCount; ++e) {
                        w.StartObject();
                        w.Key("name");
                        str(Text(type.enumerators[e].name));
                        w.Key("number");
                        w.Int(type.enumerators[e].number);
                        w.EndObject();
                    }
                }
                w.EndArray();
            }
            w.EndObject();
        }
    }
    w.EndArray();
    w.Key("events");
    w.StartArray();
    if (tableOk && Usable(table->events, table->eventCount)) {
        for (std::uint32_t i = 0; i < table->eventCount; ++i) {
            const EventDescriptionRecord& event = table->events[i];
            w.StartObject();
            w.Key("name");
            str(Text(event.name));
            w.Key("nameSpace");
            str(Text(event.nameSpace));
            w.Key("payloadType");
            str(Text(event.payloadTypeName));
            w.EndObject();
        }
    }
    w.EndArray();
    w.Key("functions");
    w.StartArray();
    if (tableOk && Usable(table->functions, table->functionCount)) {
        for (std::uint32_t i = 0; i < table->functionCount; ++i) {
            const ApiFunctionRecord& function = table->functions[i];
            w.StartObject();
            w.Key("name");
            str(Text(function.name));
            w.Key("nameSpace");
            str(Text(function.nameSpace));
            w.Key("description");
            str(Text(function.description));
            w.Key("method");
            str(MethodText(function));
            w.Key("url");
            str(Text(function.urlTemplate));
            w.Key("parameters");
            w.StartArray();
            if (Usable(function.parameters, function.parameterCount)) {
                for (std::uint32_t p = 0; p < function.parameterCount; ++p) {
                    const ParameterDescriptionRecord& parameter = function.parameters[p];
                    w.StartObject();
                    w.Key("name");
                    str(Text(parameter.name));
                    w.Key("type");
                    WriteType(w, parameter.kind, parameter.elementKind, parameter.typeName);
                    w.Key("location");
                    str(LocationText(parameter.location));
                    w.Key("optional");
                    w.Bool(parameter.optional != 0);
                    w.EndObject();
                }
            }
            w.EndArray();
            w.Key("returns");
            WriteType(w, function.returnKind, function.returnElementKind, function.returnTypeName);
            w.Key("async");
            w.Bool(function.isAsync != 0);
            if (function.isAsync != 0) {
                w.Key("asyncResult");
                WriteType(w, function.asyncResultKind, function.asyncResultElementKind, function.asyncResultTypeName);
            }
            w.EndObject();
        }
    }
    w.EndArray();
    w.EndObject();
}

// printf into a string.
__attribute__((format(printf, 2, 3))) void Appendf(std::string& out, const char* format, ...) {
    char buffer[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    out += buffer;
}

void PrintText(const HostRegistration& record, const PluginLibrary& library, std::string& out) {
    const std::string shortName = Text(record.shortName);
    const std::string fullName = library.FullName(shortName);
    Appendf(out, "plugin    %s%s\nversion   %u.%u.%u\nlibrary   %s\nexport    %s\n", shortName.c_str(),
            fullName == shortName ? "" : (" (" + fullName + ")").c_str(), record.major, record.minor, record.patch,
            library.Path().c_str(), library.ExportName().c_str());
    const ApiTable* table = record.apiTable;
    if (table == nullptr || !Readable(table, sizeof(ApiTable))) {
        Appendf(out, "no readable API table\n");
        return;
    }
    Appendf(out, "\ntypes (%u)\n", table->typeCount);
    if (Usable(table->types, table->typeCount)) {
        for (std::uint32_t i = 0; i < table->typeCount; ++i) {
            const TypeDescriptionRecord& type = table->types[i];
            const bool isStruct = type.fields != nullptr;
            Appendf(out, "  %s %s  (%u bytes)\n", isStruct ? "struct" : "enum  ", Text(type.name).c_str(), type.size);
            if (isStruct && Usable(type.fields, type.memberCount)) {
                for (std::uint32_t f = 0; f < type.memberCount; ++f) {
                    const FieldDescriptionRecord& field = type.fields[f];
                    std::string kind = TypeKindName(field.kind);
                    if (field.elementKind != 0) kind += std::string(" of ") + TypeKindName(field.elementKind);
                    const std::string typeName = Text(field.typeName);
                    if (!typeName.empty()) kind += " " + typeName;
                    Appendf(out, "      %-28s %s%s\n", Text(field.name).c_str(), kind.c_str(), field.optional ? "  (optional)" : "");
                }
            } else if (!isStruct && Usable(type.enumerators, type.memberCount)) {
                for (std::uint32_t e = 0; e < type.memberCount; ++e)
                    Appendf(out, "      %-28s = %d\n", Text(type.enumerators[e].name).c_str(), type.enumerators[e].number);
            }
        }
    }
    Appendf(out, "\nevents (%u)\n", table->eventCount);
    if (Usable(table->events, table->eventCount)) {
        for (std::uint32_t i = 0; i < table->eventCount; ++i)
            Appendf(out, "  %-40s payload %s\n", Text(table->events[i].name).c_str(),
                         Text(table->events[i].payloadTypeName).c_str());
    }
    Appendf(out, "\nfunctions (%u)\n", table->functionCount);
    if (Usable(table->functions, table->functionCount)) {
        for (std::uint32_t i = 0; i < table->functionCount; ++i) {
            const ApiFunctionRecord& function = table->functions[i];
            std::string result = TypeText(function.returnKind, function.returnElementKind, function.returnTypeName);
            if (function.isAsync != 0)
                result += " (async: " + TypeText(function.asyncResultKind, function.asyncResultElementKind,
                                                 function.asyncResultTypeName) + ")";
            Appendf(out, "  %s  %s %s -> %s\n", Text(function.name).c_str(), MethodText(function).c_str(),
                    Text(function.urlTemplate).c_str(), result.c_str());
            if (!Usable(function.parameters, function.parameterCount)) {
                Appendf(out, "      <%u unreadable parameters>\n", function.parameterCount);
                continue;
            }
            for (std::uint32_t p = 0; p < function.parameterCount; ++p) {
                const ParameterDescriptionRecord& parameter = function.parameters[p];
                Appendf(out, "      %-28s %s  (%s%s)\n", Text(parameter.name).c_str(),
                        TypeText(parameter.kind, parameter.elementKind, parameter.typeName).c_str(),
                        LocationText(parameter.location).c_str(), parameter.optional != 0 ? ", optional" : "");
            }
        }
    }
}

}  // namespace

int DescribePlugin(const std::string& plugin, DescribeFormat format, std::FILE* out) {
    std::string error;
    std::string output;
    // The plugin runs in a child: a crash while registering is reported, not suffered.
    const IsolatedOutcome outcome = RunIsolated(
        "describe",
        [&](const Channel& channel) {
            PluginLibrary library;
            if (!library.Open(plugin)) {
                channel.Send("E" + library.Error());
                return 2;
            }
            FakeHost host;
            PluginSession session(library, host);
            std::string loadError;
            if (!session.Load(loadError)) {
                channel.Send("E" + loadError);
                return 2;
            }
            std::string text;
            if (format == DescribeFormat::OpenApi) {
                text = OpenApiDocument(session.Record(), library.FullName(Text(session.Record().shortName)));
            } else if (format == DescribeFormat::Json) {
                // One line, as every --json output of pzl-host.
                rapidjson::StringBuffer buffer;
                rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
                WriteTable(writer, session.Record(), library);
                text.assign(buffer.GetString(), buffer.GetSize());
            } else {
                PrintText(session.Record(), library, text);
            }
            // Line by line through the channel.
            std::size_t start = 0;
            while (start < text.size()) {
                std::size_t end = text.find('\n', start);
                if (end == std::string::npos) end = text.size();
                channel.Send("O" + text.substr(start, end - start));
                start = end + 1;
            }
            return 0;
        },
        30.0,
        [&](std::string_view line) {
            if (line.starts_with("E")) error = line.substr(1);
            if (line.starts_with("O")) output.append(line.substr(1)).append("\n");
        });
    if (!error.empty()) {
        std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
        return 2;
    }
    if (outcome.end != IsolatedOutcome::End::Exited) {
        std::fprintf(stderr, "pzl-host: the plugin %s while registering\n",
                     outcome.end == IsolatedOutcome::End::Crashed ? ("crashed (" + outcome.signalName + ")").c_str() : "hung");
        std::fputs(FailureDetails(outcome, "  ").c_str(), stderr);
        return 1;
    }
    std::fputs(output.c_str(), out);
    return outcome.exitCode;
}

}  // namespace Kesh::StandIn
