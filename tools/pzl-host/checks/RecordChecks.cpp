#include <set>
#include <vector>

#include "log/LogLevel.h"
#include "runtime/HttpMethod.h"
#include "tools/pzl-host/ExportList.h"
#include "tools/pzl-host/RequestBuilder.h"
#include "tools/pzl-host/SafeMemory.h"
#include "tools/pzl-host/checks/Check.h"

namespace Kesh::StandIn {
namespace {

template <typename Record>
std::string ChainFault(const Record* records, std::uint32_t count, const char* what) {
    if (count == 0) return {};
    if (count > 1000000 || !Readable(records, sizeof(Record) * count))
        return std::string(what) + " array of " + std::to_string(count) + " is not readable";
    for (std::uint32_t i = 0; i < count; ++i) {
        const Record* expected = i + 1 < count ? &records[i + 1] : nullptr;
        if (records[i].next != expected) return std::string(what) + " record " + std::to_string(i) + " is chained wrongly";
    }
    return {};
}

// What is wrong with a function's description (its route, parameters and result), or
// "" when nothing is: every text readable, parameter names unique, every referenced
// type among the table's types.
std::string FunctionDescriptionFault(const ApiFunctionRecord& function, const std::string& name,
                                     const std::set<std::string>& types) {
    const std::string what = "function " + name;
    auto unknownType = [&](const char* typeName, const std::string& owner) -> std::string {
        const auto referenced = ReadText(typeName);
        if (!referenced) return owner + " has an unreadable type name";
        if (!referenced->empty() && types.count(*referenced) == 0) return owner + " names the unknown type " + *referenced;
        return {};
    };
    if (!ReadText(function.nameSpace) || !ReadText(function.description))
        return what + " has an unreadable name space or description";
    if (!ReadText(function.urlTemplate)) return what + " has no readable URL template";
    if (function.method > 8) return what + " has the method number " + std::to_string(function.method);
    if (function.method == 8 && (!ReadText(function.customMethod) || ReadText(function.customMethod)->empty()))
        return what + " has a custom method without a readable name";
    std::string fault = unknownType(function.returnTypeName, what + "'s result");
    if (fault.empty() && function.isAsync != 0) fault = unknownType(function.asyncResultTypeName, what + "'s async result");
    if (!fault.empty()) return fault;
    if (function.parameterCount > 0 && function.parameters == nullptr) return what + " has parameters but no parameter array";
    fault = ChainFault(function.parameters, function.parameterCount, ("parameter of " + name).c_str());
    if (!fault.empty()) return fault;
    std::set<std::string> parameters;
    for (std::uint32_t p = 0; p < function.parameterCount; ++p) {
        const ParameterDescriptionRecord& parameter = function.parameters[p];
        const auto parameterName = ReadText(parameter.name);
        if (!parameterName || parameterName->empty()) return what + " has a parameter without a readable name";
        if (!parameters.insert(*parameterName).second) return what + " lists the parameter " + *parameterName + " twice";
        if (!ReadText(parameter.description)) return what + " has an unreadable description of " + *parameterName;
        const std::uint32_t location = parameter.location;
        if (location != 0 && location != 1 && location != 2 && location != 4 && location != 5)
            return what + " has the unknown location " + std::to_string(location) + " for " + *parameterName;
        fault = unknownType(parameter.typeName, what + "'s parameter " + *parameterName);
        if (!fault.empty()) return fault;
    }
    return {};
}

// What is wrong with the functions' routes: a path argument that is no placeholder of
// the template, a placeholder that no argument fills from the path, two functions on
// one route (method and template alike, placeholder names aside); "" when nothing.
std::string RouteFault(const ApiTable& table) {
    struct Route {
        std::string name, shape;
        std::uint32_t method;
        std::string custom;
    };
    std::vector<Route> routes;
    for (std::uint32_t i = 0; i < table.functionCount; ++i) {
        const ApiFunctionRecord& function = table.functions[i];
        const std::string name = *ReadText(function.name);
        std::string urlTemplate = ReadText(function.urlTemplate).value_or("");
        std::vector<std::string> placeholders;
        std::string error;
        if (!TemplatePlaceholders(urlTemplate, placeholders, error)) return "function " + name + ": " + error;
        const std::set<std::string> inTemplate(placeholders.begin(), placeholders.end());
        std::set<std::string> fromPath;
        for (std::uint32_t p = 0; p < function.parameterCount; ++p) {
            const ParameterDescriptionRecord& parameter = function.parameters[p];
            const std::string parameterName = *ReadText(parameter.name);
            if (parameter.location == 0 || parameter.location == 2) fromPath.insert(parameterName);
            if (parameter.location == 2 && inTemplate.count(parameterName) == 0)
                return "function " + name + "'s path argument " + parameterName + " is not a placeholder of its URL template \"" +
                       urlTemplate + "\"";
        }
        for (const std::string& placeholder : placeholders) {
            if (fromPath.count(placeholder) == 0)
                return "the placeholder {" + placeholder + "} of function " + name + "'s URL template \"" + urlTemplate +
                       "\" has no path argument of that name";
        }
        // Without a template the function is reached under its name.
        routes.push_back(Route{name, urlTemplate.empty() ? name : TemplateShape(urlTemplate), function.method,
                               function.method == 8 ? ReadText(function.customMethod).value_or("") : ""});
    }
    for (std::size_t a = 0; a < routes.size(); ++a) {
        for (std::size_t b = a + 1; b < routes.size(); ++b) {
            const Route& first = routes[a];
            const Route& second = routes[b];
            const bool methods = first.method == 0 || second.method == 0 ||
                                 (first.method == second.method && first.custom == second.custom);
            if (!methods || first.shape != second.shape) continue;
            const std::uint32_t method = first.method != 0 ? first.method : second.method;
            const std::string methodName = method == 0 ? "any method"
                                           : method == 8 ? (first.method == 8 ? first.custom : second.custom)
                                                         : HttpMethodName(static_cast<HttpMethod>(method));
            return "functions " + first.name + " and " + second.name + " share the route " + methodName + " " + first.shape;
        }
    }
    return {};
}

// What the plugin's registration said about its declarations (functions refused, or
// shadowing each other): the plugin logs it first thing at init, once it has a log.
std::vector<LogLine> RegistrationNotes(const std::string& path) {
    Loaded plugin;
    std::vector<LogLine> notes;
    if (!plugin.Start(path)) return notes;  // a failing init is init-unload's to report
    for (const HostCall& call : plugin.host.Calls()) {
        if (call.kind != HostCallKind::Log) break;
        const LogLine& line = plugin.host.LogLines()[call.index];
        if (line.level >= kLevelWarning) notes.push_back(line);
    }
    return notes;
}

}  // namespace

Verdict SingleExport(const CheckContext& context) {
    std::vector<std::string> names;
    std::string error;
    if (!ListExports(context.plugin, names, error)) return Verdict::Fail(error);
    std::vector<std::string> own;
    // What the C runtime adds to every ELF file is not the plugin's.
    for (const std::string& name : names) {
        if (name != "_init" && name != "_fini" && name != "_edata" && name != "_end" && name != "__bss_start") own.push_back(name);
    }
    const std::string expected = PluginLibrary::ExportNameOf(PluginLibrary::ShortNameOf(context.plugin));
    if (own.size() == 1 && own[0] == expected) return Verdict::Pass(expected);
    std::string list;
    for (const std::string& name : own) list += (list.empty() ? "" : ", ") + name;
    return Verdict::Fail("expected exactly " + expected + ", found " + std::to_string(own.size()) + " exports: " + list);
}

Verdict Registration(const CheckContext& context) {
    PluginLibrary library;
    if (!library.Open(context.plugin)) return Verdict::Fail(library.Error());
    // The host hands over a record holding whatever it held before: a core version the
    // plugin accepts (18.3.1) and words the plugin must overwrite, none of which may
    // survive the export.
    const auto stale = [](std::uintptr_t word) { return reinterpret_cast<void*>(word); };
    HostRegistration record{};
    record.major = 18;
    record.minor = 3;
    record.patch = 1;
    record.callbacks = static_cast<PluginCallbacks*>(stale(0x5A5A5A50));
    record.plugin = stale(0x5A5A5A54);
    record.shortName = static_cast<const char*>(stale(0x5A5A5A58));
    record.apiTable = static_cast<ApiTable*>(stale(0x5A5A5A5C));
    library.Export()(&record);
    const char* const words[] = {"callbacks", "plugin handle", "short name", "API table"};
    const void* const values[] = {record.callbacks, record.plugin, record.shortName, record.apiTable};
    for (int i = 0; i < 4; ++i) {
        if (values[i] == stale(0x5A5A5A50 + 4 * static_cast<std::uintptr_t>(i)))
            return Verdict::Fail("the " + std::string(words[i]) + " word of the registration record was left as the host filled it");
        if (values[i] == nullptr) return Verdict::Fail("the " + std::string(words[i]) + " word of the registration record is null");
    }
    if (record.major != 18) return Verdict::Fail("plugin API major version " + std::to_string(record.major) + ", expected 18");
    // The plugin's own version goes back; the core's may be newer, never older.
    if (record.minor > 3 || (record.minor == 3 && record.patch > 1))
        return Verdict::Fail("plugin API version 18." + std::to_string(record.minor) + "." + std::to_string(record.patch) +
                             " is newer than the core's 18.3.1, which it accepted");
    if (!Readable(record.callbacks, sizeof(PluginCallbacks))) return Verdict::Fail("the callbacks table is not readable");
    const PluginCallbacks& callbacks = *record.callbacks;
    if (callbacks.init == nullptr || callbacks.unload == nullptr) return Verdict::Fail("no init or unload callback");
    if (callbacks.memoryStats == nullptr) return Verdict::Fail("no memory statistics callback");
    const auto shortName = ReadText(record.shortName);
    if (!shortName) return Verdict::Fail("the short name is not a readable text");
    if (*shortName != library.ShortName())
        return Verdict::Fail("short name \"" + *shortName + "\" does not match the file's \"" + library.ShortName() + "\"");
    if (!Readable(record.apiTable, sizeof(ApiTable))) return Verdict::Fail("no readable API table");
    return Verdict::Pass("version " + std::to_string(record.major) + "." + std::to_string(record.minor) + "." +
                         std::to_string(record.patch) + ", short name " + *shortName + ", every word overwritten");
}

Verdict ApiTableCheck(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Open(context.plugin) || !plugin.Load()) return Verdict::Fail(plugin.error);
    const ApiTable* table = plugin.session->Table();
    if (table == nullptr || !Readable(table, sizeof(ApiTable))) return Verdict::Fail("no readable API table");
    std::string fault = ChainFault(table->types, table->typeCount, "type");
    if (fault.empty()) fault = ChainFault(table->events, table->eventCount, "event");
    if (!fault.empty()) return Verdict::Fail(fault);
    std::set<std::string> types;
    for (std::uint32_t i = 0; i < table->typeCount; ++i) {
        const TypeDescriptionRecord& type = table->types[i];
        const auto name = ReadText(type.name);
        if (!name || name->empty()) return Verdict::Fail("type " + std::to_string(i) + " has no readable name");
        if (!types.insert(*name).second) return Verdict::Fail("type name " + *name + " is listed twice");
    }
    for (std::uint32_t i = 0; i < table->typeCount; ++i) {
        const TypeDescriptionRecord& type = table->types[i];
        const std::string name = *ReadText(type.name);
        if (type.tagCount > 0 && (type.tags == nullptr || !Readable(type.tags, sizeof(char*) * type.tagCount)))
            return Verdict::Fail("type " + name + " has unreadable tags");
        for (std::uint32_t t = 0; t < type.tagCount; ++t)
            if (!ReadText(type.tags[t])) return Verdict::Fail("type " + name + " has an unreadable tag");
        if (type.fields != nullptr) {
            fault = ChainFault(type.fields, type.memberCount, ("field of " + name).c_str());
            if (!fault.empty()) return Verdict::Fail(fault);
            std::set<std::string> fields;
            for (std::uint32_t f = 0; f < type.memberCount; ++f) {
                const auto field = ReadText(type.fields[f].name);
                if (!field) return Verdict::Fail("a field of " + name + " has no readable name");
                if (!fields.insert(*field).second) return Verdict::Fail("field " + *field + " of " + name + " is listed twice");
                const auto referenced = ReadText(type.fields[f].typeName);
                if (!referenced) return Verdict::Fail("field " + *field + " of " + name + " has an unreadable type name");
                if (!referenced->empty() && types.count(*referenced) == 0)
                    return Verdict::Fail("field " + *field + " of " + name + " names the unknown type " + *referenced);
            }
        } else {
            fault = ChainFault(type.enumerators, type.memberCount, ("enumerator of " + name).c_str());
            if (!fault.empty()) return Verdict::Fail(fault);
            for (std::uint32_t e = 0; e < type.memberCount; ++e)
                if (!ReadText(type.enumerators[e].name)) return Verdict::Fail("an enumerator of " + name + " has no readable name");
        }
    }
    std::set<std::string> events;
    for (std::uint32_t i = 0; i < table->eventCount; ++i) {
        const auto name = ReadText(table->events[i].name);
        if (!name) return Verdict::Fail("event " + std::to_string(i) + " has no readable name");
        if (!events.insert(*name).second) return Verdict::Fail("event " + *name + " is listed twice");
        const auto payload = ReadText(table->events[i].payloadTypeName);
        if (!payload || types.count(*payload) == 0)
            return Verdict::Fail("event " + *name + " has the payload type " + payload.value_or("<unreadable>") +
                                 ", which is not among the types");
    }
    if (table->functionCount > 0 &&
        (table->functionCount > 100000 || !Readable(table->functions, sizeof(ApiFunctionRecord) * table->functionCount)))
        return Verdict::Fail("function array of " + std::to_string(table->functionCount) + " is not readable");
    std::set<std::string> functions;
    for (std::uint32_t i = 0; i < table->functionCount; ++i) {
        const ApiFunctionRecord& function = table->functions[i];
        const auto name = ReadText(function.name);
        if (!name || name->empty()) return Verdict::Fail("function " + std::to_string(i) + " has no readable name (dangling name pointer)");
        if (!functions.insert(*name).second) return Verdict::Fail("function " + *name + " is listed twice");
        if (function.handler == nullptr) return Verdict::Fail("function " + *name + " has no handler");
        if (function.userData == nullptr || !Readable(function.userData, sizeof(ApiFunctionUserData)))
            return Verdict::Fail("function " + *name + " has no readable user data");
        fault = FunctionDescriptionFault(function, *name, types);
        if (!fault.empty()) return Verdict::Fail(fault);
    }
    fault = RouteFault(*table);
    if (!fault.empty()) return Verdict::Fail(fault);
    std::string warnings;
    for (const LogLine& note : RegistrationNotes(context.plugin)) {
        if (note.level >= kLevelError) return Verdict::Fail("registration: " + note.message);
        warnings += "; warning: " + note.message;
    }
    return Verdict::Pass(std::to_string(table->typeCount) + " types, " + std::to_string(table->eventCount) + " events, " +
                         std::to_string(table->functionCount) + " functions" + warnings);
}

}  // namespace Kesh::StandIn
