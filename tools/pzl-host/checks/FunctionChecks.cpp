#include <cctype>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>

#include "binding/TypeKind.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "tools/pzl-host/FunctionCall.h"
#include "tools/pzl-host/RequestBuilder.h"
#include "tools/pzl-host/SafeMemory.h"
#include "tools/pzl-host/ValueJson.h"
#include "tools/pzl-host/checks/Check.h"

namespace Kesh::StandIn {
namespace {

constexpr std::uint32_t kAny = 0, kQuery = 1, kPath = 2, kHeader = 4, kBody = 5;

bool IsKind(const ParameterDescriptionRecord& parameter, TypeKind kind) {
    return parameter.kind == static_cast<std::uint32_t>(kind);
}

// An error reply must say what went wrong, and a request the client got wrong is no
// server fault: binding failures carry status 0, a function's own refusals a 4xx.
std::string ClientFaultReplyFault(const FunctionReply& reply, bool mustFail) {
    if (reply.error && reply.errorText.empty()) return "an error reply without text";
    if (reply.status >= 500) return "status " + std::to_string(reply.status) + " for a client fault";
    if (reply.error && reply.status != 0 && (reply.status < 400 || reply.status > 499))
        return "an error with status " + std::to_string(reply.status) + " (neither 0 nor 4xx)";
    if (mustFail && !reply.error) return "a success";
    return "";
}

std::string Encode(const std::string& text) {
    std::string out;
    for (unsigned char byte : text) {
        if (std::isalnum(byte) != 0 || byte == '-' || byte == '.' || byte == '_' || byte == '~') {
            out += static_cast<char>(byte);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            out += hex;
        }
    }
    return out;
}

const ParameterDescriptionRecord* FindParameter(const ApiFunctionRecord& record, const std::string& name) {
    for (std::uint32_t p = 0; p < record.parameterCount; ++p)
        if (ReadText(record.parameters[p].name).value_or("") == name) return &record.parameters[p];
    return nullptr;
}

// The valid call with its typed arguments moved to where else their declared location
// lets them go: the query string, headers (by the lower-case name binding looks up) or
// the body. Nothing when no argument can go there.
std::optional<FunctionCall> Relocated(const ApiFunctionRecord& record, const FunctionCall& valid, std::uint32_t where) {
    FunctionCall call = valid;
    call.arguments.clear();
    bool moved = false;
    for (const auto& [name, value] : valid.arguments) {
        const ParameterDescriptionRecord* parameter = FindParameter(record, name);
        const std::uint32_t location = parameter != nullptr ? parameter->location : kBody;
        const bool fits = where == kBody ? location == kBody : location == kAny || location == where;
        // Only the first body parameter receives the body.
        if (!fits || (where == kBody && moved)) {
            call.arguments.emplace_back(name, value);
            continue;
        }
        moved = true;
        if (where == kQuery) {
            const std::size_t hash = call.url.find('#');
            const std::string fragment = hash == std::string::npos ? "" : call.url.substr(hash);
            if (hash != std::string::npos) call.url.erase(hash);
            call.url += (call.url.find('?') == std::string::npos ? "?" : "&") + Encode(name) + "=" +
                        Encode(TextArgument(value)) + fragment;
        } else if (where == kHeader) {
            std::string lower = name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            call.headers.emplace_back(lower, TextArgument(value));
        } else {
            call.body = ToJson(value);
            call.contentType = "application/json";
        }
    }
    if (!moved) return std::nullopt;
    return call;
}

// A value of a kind no parameter of that declared kind accepts.
std::optional<BindingProperty> WrongKind(const ParameterDescriptionRecord& parameter) {
    BindingProperty value;
    switch (static_cast<TypeKind>(parameter.kind)) {
    case TypeKind::Object:
    case TypeKind::Callback:
    case TypeKind::None: return std::nullopt;
    case TypeKind::String:
    case TypeKind::Struct:
    case TypeKind::Map:
        value.MakeCollection();
        value.Append() = 1;
        return value;
    default:
        value["wrong"] = 1;
        return value;
    }
}

// The integers just outside the declared type's range (as texts where no 64-bit value
// reaches them).
std::vector<BindingProperty> OutOfRange(const ParameterDescriptionRecord& parameter) {
    std::vector<BindingProperty> values;
    auto add = [&](auto number) {
        BindingProperty value;
        if constexpr (std::is_signed_v<decltype(number)>) value.AssignSigned(number);
        else value.AssignUnsigned(number);
        values.push_back(std::move(value));
    };
    switch (static_cast<TypeKind>(parameter.kind)) {
    case TypeKind::Int8: add(std::int64_t{128}); add(std::int64_t{-129}); break;
    case TypeKind::UInt8: add(std::uint64_t{256}); add(std::int64_t{-1}); break;
    case TypeKind::Int16: add(std::int64_t{32768}); add(std::int64_t{-32769}); break;
    case TypeKind::UInt16: add(std::uint64_t{65536}); add(std::int64_t{-1}); break;
    case TypeKind::Int32: add(std::int64_t{2147483648LL}); add(std::int64_t{-2147483649LL}); break;
    case TypeKind::UInt32: add(std::uint64_t{4294967296ULL}); add(std::int64_t{-1}); break;
    case TypeKind::Int64:
        values.emplace_back("9223372036854775808");
        values.emplace_back("-9223372036854775809");
        break;
    case TypeKind::UInt64:
        values.emplace_back("18446744073709551616");
        add(std::int64_t{-1});
        break;
    default: break;
    }
    return values;
}

// The call with the typed argument name set to value (typed arguments are bound after
// the path, the query and the headers, so it is the one the function sees).
FunctionCall WithArgument(const FunctionCall& valid, const std::string& name, const BindingProperty& value) {
    FunctionCall call = valid;
    bool replaced = false;
    for (auto& [argument, current] : call.arguments) {
        if (argument != name) continue;
        current = value;
        replaced = true;
    }
    if (!replaced) call.arguments.emplace_back(name, value);
    return call;
}

struct Case {
    std::string what;
    FunctionCall call;
    // Binding must refuse it; otherwise it only must not be answered as a server fault.
    bool mustFail;
};

// The malformed requests for one function, built around a valid call.
std::vector<Case> MalformedCases(const ApiTable& table, const ApiFunctionRecord& record, const std::string& name,
                                 const FunctionCall& valid, std::mt19937_64& rng) {
    std::vector<Case> cases, general;
    auto add = [&](std::string what, std::string method, std::string url, std::string body, std::string type, bool mustFail) {
        FunctionCall call;
        call.function = name;
        call.method = std::move(method);
        call.url = std::move(url);
        call.body = std::move(body);
        call.contentType = std::move(type);
        general.push_back(Case{std::move(what), std::move(call), mustFail});
    };
    const std::string method = valid.method.empty() ? "POST" : valid.method;
    const std::string url = valid.url.empty() ? name : valid.url;
    const std::string urlTemplate = ReadText(record.urlTemplate).value_or("");
    const bool restOrFragment = urlTemplate.find("{+") != std::string::npos || urlTemplate.find("{#") != std::string::npos;
    bool hasBody = false;
    for (std::uint32_t p = 0; p < record.parameterCount; ++p) hasBody = hasBody || record.parameters[p].location == kBody;
    // Only a template without placeholders is sure not to match a path made up here.
    add("unknown path", "GET", "/nowhere/%zz/%", "", "", urlTemplate.find('{') == std::string::npos);
    add("a path segment too many", method, url.substr(0, url.find('?')) + "/extra", "", "", !restOrFragment);
    add("broken JSON body", method, url, "{\"values\": [1, 2", "application/json", hasBody);
    // A string announcing three bytes with two to come (a container cut short is read as
    // far as it goes).
    add("broken MessagePack body", method, url, "\xa3" "ab", "application/x-msgpack", hasBody);
    add("broken YAML body", method, url, "a: [1, 2\n  b: }", "application/x-yaml", hasBody);
    add("unknown content type", method, url, "abc", "text/x-nothing", hasBody);
    if (record.method != 0) add("a method the function does not take", "BREW", url, "", "", true);
    for (std::uint32_t p = 0; p < record.parameterCount; ++p) {
        const ParameterDescriptionRecord& parameter = record.parameters[p];
        const std::string argument = ReadText(parameter.name).value_or("");
        // Each required argument missing. Not a path argument (the URL would differ) nor
        // a bool, whose absence is its false, nor an object, which takes anything.
        if (parameter.optional == 0 && parameter.location != kPath && !IsKind(parameter, TypeKind::Bool) &&
            !IsKind(parameter, TypeKind::Object)) {
            FunctionCall call;
            std::string error;
            if (BuildValidCall(table, record, false, rng, call, error, argument))
                cases.push_back(Case{"without its argument " + argument, std::move(call), true});
        }
        if (const auto wrong = WrongKind(parameter))
            cases.push_back(Case{"a " + std::string(PropertyKindName(wrong->Kind())) + " for its " +
                                     TypeKindName(parameter.kind) + " argument " + argument,
                                 WithArgument(valid, argument, *wrong), true});
        for (const BindingProperty& outside : OutOfRange(parameter))
            cases.push_back(Case{TextArgument(outside) + " for its " + TypeKindName(parameter.kind) + " argument " + argument,
                                 WithArgument(valid, argument, outside), true});
        if (IsKind(parameter, TypeKind::Enum))
            cases.push_back(Case{"an unknown enumerator for its argument " + argument,
                                 WithArgument(valid, argument, BindingProperty("NoSuchEnumerator")), true});
    }
    // The argument cases first: a body a function takes no body for also leaves its
    // arguments missing, and the failure is clearer named after the argument.
    for (Case& one : general) cases.push_back(std::move(one));
    return cases;
}

// The function's record and a call that can be built from it, or why not.
struct Callable {
    const ApiFunctionRecord* record = nullptr;
    std::string name;
};

// The functions of the table that can be called from their records. One whose
// template and arguments do not fit together is api-table's to report; it is counted
// in passed over.
std::vector<Callable> CallableFunctions(const ApiTable& table, std::string& fault, std::size_t& passedOver) {
    std::vector<Callable> functions;
    for (std::uint32_t i = 0; i < table.functionCount; ++i) {
        const ApiFunctionRecord& record = table.functions[i];
        const auto name = ReadText(record.name);
        if (!name || record.handler == nullptr) {
            fault = "function " + std::to_string(i) + " cannot be called";
            return {};
        }
        if (record.parameterCount > 0 &&
            (record.parameters == nullptr || !Readable(record.parameters, sizeof(ParameterDescriptionRecord) * record.parameterCount))) {
            fault = *name + ": its parameter records cannot be read";
            return {};
        }
        std::mt19937_64 probe(0);
        FunctionCall call;
        std::string error;
        if (!BuildValidCall(table, record, true, probe, call, error)) {
            ++passedOver;
            continue;
        }
        functions.push_back(Callable{&record, *name});
    }
    return functions;
}

std::string PassedOver(std::size_t count) {
    return count == 0 ? "" : "; " + std::to_string(count) + " function(s) whose template and arguments do not fit passed over";
}

}  // namespace

Verdict MalformedRequests(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    const ApiTable* table = plugin.session->Table();
    if (table == nullptr || table->functionCount == 0) return Verdict::Skip("the plugin exposes no functions");
    std::string error;
    std::size_t passedOver = 0;
    const std::vector<Callable> functions = CallableFunctions(*table, error, passedOver);
    if (!error.empty()) return Verdict::Fail(error);
    std::mt19937_64 rng(context.seed);
    std::size_t calls = 0;
    for (std::uint64_t round = 0; context.More(round, 1); ++round)
    for (const Callable& function : functions) {
        const ApiFunctionRecord& record = *function.record;
        const std::string& name = function.name;
        // The cases go to the function's own route, so that they reach argument binding.
        FunctionCall valid;
        if (!BuildValidCall(*table, record, false, rng, valid, error)) return Verdict::Fail(name + ": " + error);
        for (const Case& one : MalformedCases(*table, record, name, valid, rng)) {
            const std::string request = RequestText(one.call);
            context.Digest(request);
            context.Note(name + " (" + one.what + "): " + request);
            FunctionReply reply;
            if (!CallFunction(record, one.call, plugin.host.ClientId(), 0, reply, error)) return Verdict::Fail(name + ": " + error);
            const std::string fault = ClientFaultReplyFault(reply, one.mustFail);
            if (!fault.empty()) return Verdict::Fail(name + " answered " + one.what + " with " + fault + ": " + request);
            ++calls;
        }
        // No URL at all: the host never sends one, but a broken host might.
        context.Note(name + " (null URL)");
        HostRequest request{};
        request.method = 2;
        request.userData = record.userData;
        HostReply raw{};
        record.handler(&raw, &request);
        const bool answered = raw.result.hasError != 0;
        if (raw.release != nullptr) raw.release(&raw);
        if (!answered) return Verdict::Fail(name + ": a request without URL got no error reply");
        ++calls;
    }
    plugin.session->Unload();
    const std::string fault = plugin.LifecycleFault();
    if (!fault.empty()) return Verdict::Fail(fault);
    return Verdict::Pass(std::to_string(calls) + " malformed calls answered" + PassedOver(passedOver));
}

Verdict ValidCalls(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    const ApiTable* table = plugin.session->Table();
    if (table == nullptr || table->functionCount == 0) return Verdict::Skip("the plugin exposes no functions");
    std::string error;
    std::size_t passedOver = 0;
    const std::vector<Callable> functions = CallableFunctions(*table, error, passedOver);
    if (!error.empty()) return Verdict::Fail(error);
    std::mt19937_64 rng(context.seed);
    std::size_t calls = 0, successes = 0;
    for (std::uint64_t round = 0; context.More(round, 1); ++round)
    for (const Callable& function : functions) {
        const ApiFunctionRecord& record = *function.record;
        const std::string& name = function.name;
        // With the required arguments only, then with every argument, typed; then every
        // argument in each other place its location allows.
        std::vector<FunctionCall> variants(2);
        if (!BuildValidCall(*table, record, false, rng, variants[0], error) ||
            !BuildValidCall(*table, record, true, rng, variants[1], error))
            return Verdict::Fail(name + ": " + error);
        for (const std::uint32_t where : {kQuery, kHeader, kBody}) {
            if (auto moved = Relocated(record, variants[1], where)) variants.push_back(std::move(*moved));
        }
        for (const FunctionCall& call : variants) {
            const std::string request = RequestText(call);
            context.Digest(request);
            context.Note(name + ": " + request);
            FunctionReply reply;
            const auto start = std::chrono::steady_clock::now();
            if (!CallFunction(record, call, plugin.host.ClientId(), 4096, reply, error)) return Verdict::Fail(name + ": " + error);
            context.Took("reply", start, name + ": " + request);
            ++calls;
            if (reply.error) {
                if (reply.errorText.empty()) return Verdict::Fail(name + " answered an error reply without text to " + request);
                continue;
            }
            ++successes;
            if (record.isAsync != 0) continue;
            const std::string fault =
                ValueTypeFault(*table, reply.value, record.returnKind, record.returnElementKind,
                               ReadText(record.returnTypeName).value_or(""));
            if (!fault.empty() && !(reply.streamed && reply.value.IsEmpty()))
                return Verdict::Fail(name + " answered " + request + " with " + ToJson(reply.value).substr(0, 200) + ": " + fault);
        }
    }
    plugin.session->Unload();
    const std::string fault = plugin.LifecycleFault();
    if (!fault.empty()) return Verdict::Fail(fault);
    return Verdict::Pass(std::to_string(calls) + " calls answered, " + std::to_string(successes) + " of them with a value" +
                         PassedOver(passedOver));
}

}  // namespace Kesh::StandIn
