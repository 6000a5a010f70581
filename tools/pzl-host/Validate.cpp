#include "tools/pzl-host/Validate.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <map>
#include <random>
#include <set>
#include <sys/stat.h>
#include <vector>

#include "binding/HostValueConversion.h"
#include "binding/TypeKind.h"
#include "log/LogLevel.h"
#include "runtime/EventName.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/ExportList.h"
#include "tools/pzl-host/FunctionCall.h"
#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/PluginSession.h"
#include "tools/pzl-host/RequestBuilder.h"
#include "tools/pzl-host/SafeMemory.h"
#include "tools/pzl-host/ValueJson.h"

namespace Kesh::StandIn {
namespace {

struct Verdict {
    enum class Kind { Pass, Fail, Skip };
    Kind kind = Kind::Pass;
    std::string reason;
    static Verdict Pass(std::string reason = {}) { return {Kind::Pass, std::move(reason)}; }
    static Verdict Fail(std::string reason) { return {Kind::Fail, std::move(reason)}; }
    static Verdict Skip(std::string reason) { return {Kind::Skip, std::move(reason)}; }
};

struct CheckContext {
    std::string plugin;
    std::uint64_t seed = 0;
    const Channel* channel = nullptr;
    // What the check is about to do, so that a crash or a hang can name it.
    void Note(const std::string& what) const {
        if (channel != nullptr) channel->Send("~" + what);
    }
};

// A plugin object loaded and initialised against its own host, for one check.
struct Loaded {
    PluginLibrary library;
    FakeHost host;
    std::unique_ptr<PluginSession> session;
    std::string error;

    bool Open(const std::string& path) {
        if (!library.Open(path)) {
            error = library.Error();
            return false;
        }
        return true;
    }
    bool Load() {
        session = std::make_unique<PluginSession>(library, host);
        return session->Load(error);
    }
    bool Start(const std::string& path) {
        if (!Open(path) || !Load()) return false;
        if (!session->Init()) {
            error = "init answered false";
            return false;
        }
        return true;
    }
    // The host faults seen so far, as one text.
    std::string Faults() const {
        std::string text;
        for (const std::string& fault : host.Faults()) text += (text.empty() ? "" : "; ") + fault;
        return text;
    }
};

// The resource paths the plugin watches, by the event that covers each: the paths it
// fetched at init, else the path the event's name stands for ("OnJsonApiEvent_a_b" is
// "/a/b").
std::map<std::string, std::string> WatchedPaths(const FakeHost& host) {
    std::map<std::string, std::string> paths;
    for (const RecordedRequest& request : host.Requests()) {
        if (request.Method() == HttpMethod::Get) paths.emplace(EventName(request.url), request.url);
    }
    constexpr std::string_view kPrefix = "OnJsonApiEvent_";
    for (const RecordedSubscription& subscription : host.Subscriptions()) {
        const std::string& name = subscription.eventName;
        if (!name.starts_with(kPrefix) || paths.count(name) != 0) continue;
        std::string path = "/" + name.substr(kPrefix.size());
        for (char& c : path) c = c == '_' ? '/' : c;
        paths.emplace(name, path);
    }
    return paths;
}

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
    Loaded plugin;
    if (!plugin.Open(context.plugin) || !plugin.Load()) return Verdict::Fail(plugin.error);
    const HostRegistration& record = plugin.session->Record();
    if (record.major != 18) return Verdict::Fail("plugin API major version " + std::to_string(record.major) + ", expected 18");
    const PluginCallbacks& callbacks = *record.callbacks;
    if (callbacks.memoryStats == nullptr) return Verdict::Fail("no memory statistics callback");
    const auto shortName = ReadText(record.shortName);
    if (!shortName) return Verdict::Fail("the short name is not a readable text");
    if (*shortName != plugin.library.ShortName())
        return Verdict::Fail("short name \"" + *shortName + "\" does not match the file's \"" + plugin.library.ShortName() + "\"");
    if (record.apiTable == nullptr || !Readable(record.apiTable, sizeof(ApiTable))) return Verdict::Fail("no readable API table");
    if (!plugin.host.Calls().empty()) return Verdict::Fail("the plugin called the host before init");
    return Verdict::Pass("version " + std::to_string(record.major) + "." + std::to_string(record.minor) + "." +
                         std::to_string(record.patch) + ", short name " + *shortName);
}

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
    std::string warnings;
    for (const LogLine& note : RegistrationNotes(context.plugin)) {
        if (note.level >= kLevelError) return Verdict::Fail("registration: " + note.message);
        warnings += "; warning: " + note.message;
    }
    return Verdict::Pass(std::to_string(table->typeCount) + " types, " + std::to_string(table->eventCount) + " events, " +
                         std::to_string(table->functionCount) + " functions" + warnings);
}

Verdict InitUnload(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    plugin.session->Unload();
    if (!plugin.host.ActiveSubscriptions().empty())
        return Verdict::Fail("unload left " + std::to_string(plugin.host.ActiveSubscriptions().size()) +
                             " host subscriptions active, first " + plugin.host.ActiveSubscriptions()[0].eventName);
    if (!plugin.host.Faults().empty()) return Verdict::Fail("host faults: " + plugin.Faults());
    if (plugin.host.OutstandingReplies() != 0) return Verdict::Fail("replies never released: " + std::to_string(plugin.host.OutstandingReplies()));
    return Verdict::Pass(std::to_string(plugin.host.Subscriptions().size()) + " subscriptions, " +
                         std::to_string(plugin.host.Requests().size()) + " requests");
}

Verdict RepeatedCycles(const CheckContext& context) {
    PluginLibrary library;
    if (!library.Open(context.plugin)) return Verdict::Fail(library.Error());
    constexpr int kCycles = 25;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        FakeHost host;
        PluginSession session(library, host);
        std::string error;
        if (!session.Load(error)) return Verdict::Fail("cycle " + std::to_string(cycle + 1) + ": " + error);
        if (!session.Init()) return Verdict::Fail("cycle " + std::to_string(cycle + 1) + ": init answered false");
        session.Unload();
        if (!host.Faults().empty()) return Verdict::Fail("cycle " + std::to_string(cycle + 1) + ": " + host.Faults()[0]);
    }
    return Verdict::Pass(std::to_string(kCycles) + " load-init-unload cycles");
}

Verdict SecondObject(const CheckContext& context) {
    PluginLibrary library;
    if (!library.Open(context.plugin)) return Verdict::Fail(library.Error());
    FakeHost first(1), second(2);
    PluginSession a(library, first), b(library, second);
    std::string error;
    if (!a.Load(error) || !b.Load(error)) return Verdict::Fail(error);
    if (a.Record().plugin == b.Record().plugin) return Verdict::Fail("both objects have the same handle");
    if (!a.Init() || !b.Init()) return Verdict::Fail("init answered false");
    if (first.Subscriptions().size() != second.Subscriptions().size())
        return Verdict::Fail("the second object subscribed " + std::to_string(second.Subscriptions().size()) +
                             " events, the first " + std::to_string(first.Subscriptions().size()));
    for (const RecordedSubscription& subscription : second.Subscriptions())
        if (subscription.clientId != 2) return Verdict::Fail("the second object used the first one's client id");
    a.Unload();
    // The second object keeps working after the first is gone.
    const std::map<std::string, std::string> paths = WatchedPaths(second);
    for (const auto& [event, path] : paths) second.DeliverResourceEvent(path, "Update", BindingProperty());
    b.Unload();
    if (!first.Faults().empty() || !second.Faults().empty())
        return Verdict::Fail("host faults: " + (first.Faults().empty() ? second.Faults()[0] : first.Faults()[0]));
    return Verdict::Pass("two objects side by side");
}

// Resource events with values of every kind, for the allocation and payload checks.
class PayloadMaker {
public:
    explicit PayloadMaker(std::uint64_t seed) : random_(seed) {}

    BindingProperty Value(int depth) {
        switch (Pick(depth > 3 ? 7 : 9)) {
        case 0: return BindingProperty();
        case 1: return BindingProperty(Pick(2) == 1);
        case 2: return BindingProperty(static_cast<std::int64_t>(random_()));
        case 3: return BindingProperty(static_cast<std::uint64_t>(random_()));
        case 4: {
            const double special[] = {0.0, -1.0, 1e308, -1e-308, std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(), 1.5};
            return BindingProperty(special[Pick(7)]);
        }
        case 5: return BindingProperty(Word());
        case 6: {
            BindingProperty blob;
            std::vector<std::uint8_t> bytes(Pick(16));
            for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random_());
            blob.AssignBlob(bytes);
            return blob;
        }
        case 7: {
            BindingProperty list;
            list.MakeCollection();
            for (std::size_t i = Pick(5); i > 0; --i) list.Append() = Value(depth + 1);
            return list;
        }
        default: {
            BindingProperty map;
            map.MakeStructure();
            for (std::size_t i = Pick(5); i > 0; --i) map[Word()] = Value(depth + 1);
            return map;
        }
        }
    }

    std::string Word() {
        static const char* const kWords[] = {"phase", "data", "ZoomScale", "unloadUxInGameEnabled", "InProgress", "Lobby",
                                             "", "schemaVersion", "uri", "eventType", "\xff\xfe", "1.5", "true", "99"};
        return kWords[Pick(sizeof kWords / sizeof kWords[0])];
    }
    std::size_t Pick(std::size_t count) { return static_cast<std::size_t>(random_() % count); }
    std::mt19937_64& Random() { return random_; }

private:
    std::mt19937_64 random_;
};

// Wrong shapes, deep nesting and huge texts: fixed, so the check repeats exactly.
std::vector<BindingProperty> MalformedData() {
    std::vector<BindingProperty> values;
    values.emplace_back(std::string(1 << 20, 'x'));
    BindingProperty deep;
    BindingProperty* at = &deep;
    for (int i = 0; i < 20000; ++i) at = &at->Append();
    values.push_back(std::move(deep));
    BindingProperty deepMap;
    at = &deepMap;
    for (int i = 0; i < 20000; ++i) at = &(*at)["data"];
    values.push_back(std::move(deepMap));
    BindingProperty wide;
    for (int i = 0; i < 20000; ++i) wide.Append() = i;
    values.push_back(std::move(wide));
    BindingProperty wrong;
    wrong["phase"]["phase"] = "InProgress";
    wrong["data"] = 5;
    values.push_back(std::move(wrong));
    values.emplace_back("not a structure");
    values.emplace_back(-1.0);
    return values;
}

// Hostile records straight from a host: kinds out of range, null arrays with counts.
void DeliverHostileRecords(FakeHost& host, const std::string& event) {
    HostValue record{};
    record.kind = static_cast<HostValueKind>(42);
    host.DeliverRecord(event, record);
    record = HostValue{};
    record.kind = HostValueKind::Structure;
    host.DeliverRecord(event, record);
    record.kind = HostValueKind::Collection;
    host.DeliverRecord(event, record);
    record = HostValue{};
    record.kind = HostValueKind::BorrowedString;
    host.DeliverRecord(event, record);
}

Verdict Payloads(const CheckContext& context, bool random) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    const std::map<std::string, std::string> paths = WatchedPaths(plugin.host);
    std::vector<std::string> events;
    for (const RecordedSubscription& subscription : plugin.host.Subscriptions()) events.push_back(subscription.eventName);
    if (events.empty()) return Verdict::Skip("the plugin subscribes no events");
    PayloadMaker maker(context.seed);
    static const char* const kTypes[] = {"Create", "Update", "Delete", "Bogus"};
    std::size_t delivered = 0;
    for (const std::string& event : events) {
        auto found = paths.find(event);
        const std::string uri = found != paths.end() ? found->second : "/" + event;
        if (random) {
            for (int i = 0; i < 200; ++i) {
                BindingProperty payload;
                if (maker.Pick(4) == 0) {
                    payload = maker.Value(0);
                } else {
                    payload["uri"] = maker.Pick(8) == 0 ? maker.Word() : uri;
                    if (maker.Pick(3) == 0) {
                        payload["eventType"] = static_cast<std::int64_t>(maker.Pick(5)) - 1;
                    } else {
                        payload["eventType"] = kTypes[maker.Pick(4)];
                    }
                    payload["data"] = maker.Value(0);
                }
                plugin.host.Deliver(event, payload);
                ++delivered;
            }
        } else {
            for (const BindingProperty& data : MalformedData()) {
                plugin.host.DeliverResourceEvent(uri, "Update", data);
                plugin.host.Deliver(event, data);
                delivered += 2;
            }
            DeliverHostileRecords(plugin.host, event);
            delivered += 4;
        }
    }
    // Still responsive: a plain change of each watched resource is handled and the
    // plugin unloads cleanly.
    for (const auto& [event, path] : paths) plugin.host.DeliverResourceEvent(path, "Delete", BindingProperty());
    plugin.session->Unload();
    if (!plugin.host.Faults().empty()) return Verdict::Fail("host faults: " + plugin.Faults());
    return Verdict::Pass(std::to_string(delivered) + " payloads to " + std::to_string(events.size()) + " events");
}

Verdict BalancedAllocations(const CheckContext& context) {
    PluginLibrary library;
    if (!library.Open(context.plugin)) return Verdict::Fail(library.Error());
    auto cycle = [&](int events, MemoryStats& after, std::string& error) {
        FakeHost host;
        PluginSession session(library, host);
        if (!session.Load(error)) return false;
        if (!session.Init()) {
            error = "init answered false";
            return false;
        }
        const std::map<std::string, std::string> paths = WatchedPaths(host);
        PayloadMaker maker(context.seed);
        for (int i = 0; i < events; ++i) {
            for (const auto& [event, path] : paths) host.DeliverResourceEvent(path, "Update", maker.Value(0));
        }
        session.Unload();
        after = session.Stats();
        return true;
    };
    MemoryStats first{}, second{};
    std::string error;
    // The first cycle leaves what the library keeps for its life (interned texts,
    // pools); a second one with events must leave no more than that.
    if (!cycle(0, first, error) || !cycle(50, second, error)) return Verdict::Fail(error);
    if (second.allocationCount == 0) return Verdict::Skip("the library reports no allocations");
    const std::int64_t liveFirst = static_cast<std::int64_t>(first.allocationCount - first.freeCount);
    const std::int64_t liveSecond = static_cast<std::int64_t>(second.allocationCount - second.freeCount);
    const std::int64_t bytesFirst = static_cast<std::int64_t>(first.bytesAllocated - first.bytesFreed);
    const std::int64_t bytesSecond = static_cast<std::int64_t>(second.bytesAllocated - second.bytesFreed);
    if (liveSecond > liveFirst)
        return Verdict::Fail(std::to_string(liveSecond - liveFirst) + " allocations (" + std::to_string(bytesSecond - bytesFirst) +
                             " bytes) still live after a load-init-events-unload cycle");
    return Verdict::Pass(std::to_string(second.allocationCount - first.allocationCount) + " allocations in a cycle, all freed");
}

// An error reply must say what went wrong, and a request the client got wrong is no
// server fault.
std::string ClientFaultReplyFault(const FunctionReply& reply) {
    if (reply.error && reply.errorText.empty()) return "an error reply without text";
    if (reply.status >= 500) return "status " + std::to_string(reply.status) + " for a client fault";
    return "";
}

Verdict MalformedRequests(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    const ApiTable* table = plugin.session->Table();
    if (table == nullptr || table->functionCount == 0) return Verdict::Skip("the plugin exposes no functions");
    std::mt19937_64 rng(context.seed);
    std::size_t calls = 0;
    for (std::uint32_t i = 0; i < table->functionCount; ++i) {
        const ApiFunctionRecord& record = table->functions[i];
        const auto name = ReadText(record.name);
        if (!name || record.handler == nullptr) return Verdict::Fail("function " + std::to_string(i) + " cannot be called");
        // The cases go to the function's own route, so that they reach argument binding.
        FunctionCall valid;
        std::string error;
        if (!BuildValidCall(*table, record, false, rng, valid, error)) return Verdict::Fail(*name + ": " + error);
        std::vector<std::pair<std::string, FunctionCall>> cases;
        auto add = [&](std::string what, std::string method, std::string url, std::string body, std::string type) {
            FunctionCall call;
            call.function = *name;
            call.method = std::move(method);
            call.url = std::move(url);
            call.body = std::move(body);
            call.contentType = std::move(type);
            cases.emplace_back(std::move(what), std::move(call));
        };
        const std::string method = valid.method.empty() ? "POST" : valid.method;
        const std::string url = valid.url.empty() ? *name : valid.url;
        add("unknown path", "GET", "/nowhere/%zz/%", "", "");
        add("a path segment too many", method, url.substr(0, url.find('?')) + "/extra", "", "");
        add("broken JSON body", method, url, "{\"values\": [1, 2", "application/json");
        add("broken MessagePack body", method, url, std::string("\xdd\xff\xff\xff\xff", 5), "application/x-msgpack");
        add("broken YAML body", method, url, "a: [1, 2\n  b: }", "application/x-yaml");
        add("unknown content type", method, url, "abc", "text/x-nothing");
        if (record.method != 0) add("a method the function does not take", "BREW", url, "", "");
        // Each required argument missing. Not a path argument (the URL would differ) nor
        // a bool in the query, where absence is the flag's false, nor an object, which
        // binding takes as empty when absent.
        std::vector<std::string> required;
        for (std::uint32_t p = 0; p < record.parameterCount; ++p) {
            const ParameterDescriptionRecord& parameter = record.parameters[p];
            const bool flag = parameter.location == 1 && parameter.kind == static_cast<std::uint32_t>(TypeKind::Bool);
            const bool object = parameter.kind == static_cast<std::uint32_t>(TypeKind::Object);
            if (parameter.optional == 0 && parameter.location != 2 && !flag && !object)
                required.push_back(ReadText(parameter.name).value_or(""));
        }
        for (const std::string& missing : required) {
            FunctionCall call;
            if (!BuildValidCall(*table, record, false, rng, call, error, missing)) return Verdict::Fail(*name + ": " + error);
            cases.emplace_back("without its argument " + missing, std::move(call));
        }
        for (const auto& [what, call] : cases) {
            context.Note(*name + " (" + what + "): " + RequestText(call));
            FunctionReply reply;
            if (!CallFunction(record, call, plugin.host.ClientId(), 0, reply, error)) return Verdict::Fail(*name + ": " + error);
            std::string fault = ClientFaultReplyFault(reply);
            if (fault.empty() && what.starts_with("without") && !reply.error) fault = "a success";
            if (!fault.empty()) return Verdict::Fail(*name + " answered " + what + " with " + fault + ": " + RequestText(call));
            ++calls;
        }
        // No URL at all: the host never sends one, but a broken host might.
        context.Note(*name + " (null URL)");
        HostRequest request{};
        request.method = 2;
        request.userData = record.userData;
        HostReply raw{};
        record.handler(&raw, &request);
        const bool answered = raw.result.hasError != 0;
        if (raw.release != nullptr) raw.release(&raw);
        if (!answered) return Verdict::Fail(*name + ": a request without URL got no error reply");
        ++calls;
    }
    plugin.session->Unload();
    return Verdict::Pass(std::to_string(calls) + " malformed calls answered");
}

Verdict ValidCalls(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    const ApiTable* table = plugin.session->Table();
    if (table == nullptr || table->functionCount == 0) return Verdict::Skip("the plugin exposes no functions");
    std::mt19937_64 rng(context.seed);
    std::size_t calls = 0, successes = 0;
    for (std::uint32_t i = 0; i < table->functionCount; ++i) {
        const ApiFunctionRecord& record = table->functions[i];
        const auto name = ReadText(record.name);
        if (!name || record.handler == nullptr) return Verdict::Fail("function " + std::to_string(i) + " cannot be called");
        // Once with the required arguments only, once with every argument.
        for (const bool withOptional : {false, true}) {
            FunctionCall call;
            std::string error;
            if (!BuildValidCall(*table, record, withOptional, rng, call, error)) return Verdict::Fail(*name + ": " + error);
            const std::string request = RequestText(call);
            context.Note(*name + ": " + request);
            FunctionReply reply;
            if (!CallFunction(record, call, plugin.host.ClientId(), 4096, reply, error)) return Verdict::Fail(*name + ": " + error);
            ++calls;
            if (reply.error) {
                if (reply.errorText.empty()) return Verdict::Fail(*name + " answered an error reply without text to " + request);
                continue;
            }
            ++successes;
            if (record.isAsync != 0 || reply.streamed) continue;
            if (!ValueHasKind(reply.value, record.returnKind))
                return Verdict::Fail(*name + " answered " + request + " with " + ToJson(reply.value).substr(0, 200) +
                                     " where it declares " + TypeKindName(record.returnKind));
        }
    }
    plugin.session->Unload();
    if (!plugin.host.Faults().empty()) return Verdict::Fail("host faults: " + plugin.Faults());
    return Verdict::Pass(std::to_string(calls) + " calls answered, " + std::to_string(successes) + " of them with a value");
}

Verdict BeforeInitAfterUnload(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Open(context.plugin) || !plugin.Load()) return Verdict::Fail(plugin.error);
    MemoryStats stats{};
    // The counters may be read at any time, before init too.
    plugin.session->Stats();
    if (!plugin.host.Calls().empty()) return Verdict::Fail("the plugin called the host before init");
    if (!plugin.session->Init()) return Verdict::Fail("init answered false");
    // Events of every subscription before unload; none may arrive in the host after it.
    std::vector<RecordedSubscription> subscriptions = plugin.host.Subscriptions();
    plugin.session->Unload();
    const std::size_t callsAtUnload = plugin.host.Calls().size();
    if (!plugin.host.ActiveSubscriptions().empty())
        return Verdict::Fail("after unload the host would still deliver " + plugin.host.ActiveSubscriptions()[0].eventName +
                             " to a destroyed object");
    stats = plugin.session->Stats();
    if (plugin.host.Calls().size() != callsAtUnload) return Verdict::Fail("the plugin called the host after unload");
    if (!plugin.host.Faults().empty()) return Verdict::Fail("host faults: " + plugin.Faults());
    return Verdict::Pass(std::to_string(subscriptions.size()) + " subscriptions ended; " + std::to_string(stats.freeCount) + " frees counted");
}

struct Check {
    const char* name;
    bool random;
    Verdict (*run)(const CheckContext&);
    const char* description;
};

const Check kChecks[] = {
    {"single-export", false, SingleExport, "the library exports exactly one entry point, load_ and the short name"},
    {"registration", false, Registration, "the registration record is filled: version, short name, tables"},
    {"api-table", false, ApiTableCheck,
     "the API table is readable and consistent: unique names, chained records, known types, refused declarations"},
    {"init-unload", false, InitUnload, "init succeeds and unload ends every subscription and request"},
    {"repeated-cycles", false, RepeatedCycles, "25 load-init-unload cycles in one process"},
    {"second-object", false, SecondObject, "a second plugin object lives beside the first"},
    {"balanced-allocations", true, BalancedAllocations, "every allocation of a cycle with events is freed"},
    {"random-payloads", true, [](const CheckContext& context) { return Payloads(context, true); },
     "random payloads to every subscribed event"},
    {"malformed-payloads", false, [](const CheckContext& context) { return Payloads(context, false); },
     "deep, huge, wrongly shaped and hostile payloads to every subscribed event"},
    {"malformed-requests", true, MalformedRequests,
     "malformed requests to every function's route are answered with an error with text, never a 5xx"},
    {"valid-calls", true, ValidCalls,
     "valid calls to every function do not crash and answer an error with text or a value of the declared kind"},
    {"before-init-after-unload", false, BeforeInitAfterUnload, "no host calls before init or after unload"},
};

std::string JsonLine(const char* name, const char* verdict, const std::string& reason, bool random, std::uint64_t seed) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("check");
    writer.String(name);
    writer.Key("result");
    writer.String(verdict);
    writer.Key("reason");
    writer.String(reason.c_str(), static_cast<rapidjson::SizeType>(reason.size()));
    if (random) {
        writer.Key("seed");
        writer.Uint64(seed);
    }
    writer.EndObject();
    return buffer.GetString();
}

}  // namespace

int ValidatePlugin(const ValidateOptions& options, std::FILE* out) {
    struct stat info {};
    if (stat(options.plugin.c_str(), &info) != 0) {
        std::fprintf(stderr, "pzl-host: cannot open plugin %s: no such file\n", options.plugin.c_str());
        return 2;
    }
    bool known = options.check.empty();
    for (const Check& check : kChecks) known = known || options.check == check.name;
    if (!known) {
        std::string list;
        for (const Check& check : kChecks) list += std::string(list.empty() ? "" : ", ") + check.name;
        std::fprintf(stderr, "pzl-host: unknown check %s (checks: %s)\n", options.check.c_str(), list.c_str());
        return 2;
    }
    const std::uint64_t seed =
        options.seed ? *options.seed
                     : static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) % 1000000007u;
    int run = 0, passed = 0, failed = 0, skipped = 0;
    for (const Check& check : kChecks) {
        if (!options.check.empty() && options.check != check.name) continue;
        CheckContext context{options.plugin, seed};
        std::string verdictLine, lastNote;
        const IsolatedOutcome outcome = RunIsolated(
            check.name,
            [&](const Channel& channel) {
                context.channel = &channel;
                const Verdict verdict = check.run(context);
                const char* kind = verdict.kind == Verdict::Kind::Pass ? "PASS" : verdict.kind == Verdict::Kind::Fail ? "FAIL" : "SKIP";
                channel.Send(std::string(kind) + " " + verdict.reason);
                return 0;
            },
            options.timeout, [&](std::string_view line) {
                if (line.starts_with("~")) lastNote = line.substr(1);
                else verdictLine = line;
            });
        std::string verdict = "FAIL", reason;
        if (outcome.end == IsolatedOutcome::End::Crashed) {
            reason = "the plugin crashed (" + outcome.signalName + ")";
            if (!lastNote.empty()) reason += " in " + lastNote;
        } else if (outcome.end == IsolatedOutcome::End::TimedOut) {
            reason = "no answer within " + std::to_string(static_cast<int>(options.timeout)) + " s";
            if (!lastNote.empty()) reason += " in " + lastNote;
        } else if (verdictLine.size() >= 4) {
            verdict = verdictLine.substr(0, 4);
            reason = verdictLine.size() > 5 ? verdictLine.substr(5) : "";
        } else {
            reason = "the check ended without a verdict (status " + std::to_string(outcome.exitCode) + ")";
        }
        ++run;
        if (verdict == "PASS") ++passed;
        if (verdict == "FAIL") ++failed;
        if (verdict == "SKIP") ++skipped;
        if (options.onlyFailed && verdict != "FAIL") continue;
        if (options.json) {
            std::fprintf(out, "%s\n", JsonLine(check.name, verdict.c_str(), reason, check.random, seed).c_str());
        } else {
            std::fprintf(out, "%s  %-26s %s%s\n", verdict.c_str(), check.name, reason.c_str(),
                         check.random ? (" (seed " + std::to_string(seed) + ")").c_str() : "");
        }
        std::fflush(out);
    }
    if (options.json) {
        std::fprintf(out, "{\"run\":%d,\"passed\":%d,\"failed\":%d,\"skipped\":%d}\n", run, passed, failed, skipped);
    } else {
        std::fprintf(out, "%d %s run, %d passed, %d failed, %d skipped\n", run, run == 1 ? "check" : "checks", passed, failed,
                     skipped);
    }
    return failed == 0 ? 0 : 1;
}

int ListChecks(bool json, std::FILE* out) {
    for (const Check& check : kChecks) {
        if (json) {
            rapidjson::StringBuffer buffer;
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            writer.StartObject();
            writer.Key("check");
            writer.String(check.name);
            writer.Key("description");
            writer.String(check.description);
            writer.Key("random");
            writer.Bool(check.random);
            writer.EndObject();
            std::fprintf(out, "%s\n", buffer.GetString());
        } else {
            std::fprintf(out, "%-26s %s%s\n", check.name, check.description, check.random ? " (seeded)" : "");
        }
    }
    return 0;
}

}  // namespace Kesh::StandIn
