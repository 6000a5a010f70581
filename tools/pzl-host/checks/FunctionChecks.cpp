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

// An error reply must say what went wrong, and a request the client got wrong is no
// server fault.
std::string ClientFaultReplyFault(const FunctionReply& reply) {
    if (reply.error && reply.errorText.empty()) return "an error reply without text";
    if (reply.status >= 500) return "status " + std::to_string(reply.status) + " for a client fault";
    return "";
}

}  // namespace

Verdict MalformedRequests(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    const ApiTable* table = plugin.session->Table();
    if (table == nullptr || table->functionCount == 0) return Verdict::Skip("the plugin exposes no functions");
    std::mt19937_64 rng(context.seed);
    std::size_t calls = 0;
    for (std::uint64_t round = 0; context.More(round, 1); ++round)
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
            context.Digest(RequestText(call));
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
    for (std::uint64_t round = 0; context.More(round, 1); ++round)
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
            context.Digest(request);
            context.Note(*name + ": " + request);
            FunctionReply reply;
            const auto start = std::chrono::steady_clock::now();
            if (!CallFunction(record, call, plugin.host.ClientId(), 4096, reply, error)) return Verdict::Fail(*name + ": " + error);
            context.Took("reply", start, *name + ": " + request);
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

}  // namespace Kesh::StandIn
