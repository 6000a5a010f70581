#include <chrono>
#include <thread>

#include "tools/pzl-host/ValueJson.h"
#include "tools/pzl-host/checks/Check.h"

namespace Kesh::StandIn {
namespace {

// The host calls of one run as lines.
std::vector<std::string> Transcript(const FakeHost& host) {
    std::vector<std::string> lines;
    host.ReadRecords([&](const FakeHost& records) {
        for (const HostCall& call : records.Calls()) lines.push_back(HostCallText(records, call, true));
    });
    return lines;
}

HostCall LastRequest(const FakeHost& host) {
    for (auto call = host.Calls().rbegin(); call != host.Calls().rend(); ++call)
        if (call->kind == HostCallKind::Request) return *call;
    return host.Calls().back();
}

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

}  // namespace

Verdict Threads(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
    std::size_t afterInit = 0, beforeUnload = 0;
    plugin.host.ReadRecords([&](const FakeHost& host) { afterInit = host.Calls().size(); });
    Exercise(plugin, context.seed, 2);
    plugin.host.ReadRecords([&](const FakeHost& host) { beforeUnload = host.Calls().size(); });
    plugin.session->Unload();
    // Calls a thread of the plugin makes a moment later count too.
    Pause(context.graceMilliseconds);
    std::vector<std::string> foreign;
    std::size_t total = 0;
    plugin.host.ReadRecords([&](const FakeHost& host) {
        for (std::size_t i = 0; i < host.Calls().size(); ++i) {
            const HostCall& call = host.Calls()[i];
            if (call.kind == HostCallKind::Event || call.kind == HostCallKind::Fault) continue;
            ++total;
            if (!call.otherThread) continue;
            const char* when = i < afterInit ? "during init" : i < beforeUnload ? "while handling events" : "at or after unload";
            foreign.push_back(HostCallText(host, call) + " (" + when + ")");
        }
    });
    const std::string fault = plugin.LifecycleFault();
    if (!fault.empty()) return Verdict::Fail(fault);
    if (foreign.empty()) return Verdict::Pass(std::to_string(total) + " host calls, all on the host's thread");
    std::string list;
    for (std::size_t i = 0; i < foreign.size() && i < 5; ++i) list += (i == 0 ? "" : "; ") + foreign[i];
    if (foreign.size() > 5) list += "; and " + std::to_string(foreign.size() - 5) + " more";
    return Verdict::Warn(std::to_string(foreign.size()) + " host call(s) from a thread the host never called the plugin on: " + list);
}

Verdict Deterministic(const CheckContext& context) {
    std::vector<std::string> runs[2];
    for (std::vector<std::string>& run : runs) {
        Loaded plugin;
        if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
        Exercise(plugin, context.seed, 3);
        plugin.session->Unload();
        const std::string fault = plugin.LifecycleFault();
        if (!fault.empty()) return Verdict::Fail(fault);
        run = Transcript(plugin.host);
    }
    for (std::size_t i = 0; i < runs[0].size() || i < runs[1].size(); ++i) {
        const std::string first = i < runs[0].size() ? runs[0][i] : "(nothing)";
        const std::string second = i < runs[1].size() ? runs[1][i] : "(nothing)";
        if (first != second)
            return Verdict::Fail("the same events gave different host calls at call " + std::to_string(i + 1) +
                                 ": first run " + first.substr(0, 300) + ", second run " + second.substr(0, 300));
    }
    return Verdict::Pass(std::to_string(runs[0].size()) + " host calls the same in two runs");
}

Verdict HostErrors(const CheckContext& context) {
    // What the plugin asks of a host that answers, to measure the failing runs against.
    std::size_t normalRequests = 0, normalCalls = 0;
    {
        Loaded plugin;
        if (!plugin.Start(context.plugin)) return Verdict::Fail(plugin.error);
        Exercise(plugin, context.seed, 3);
        plugin.session->Unload();
        normalRequests = plugin.host.Requests().size();
        normalCalls = plugin.host.Calls().size();
    }
    // More than this is retrying without end; past it the host answers again, so that a
    // plugin that retries until it succeeds comes out of its loop.
    const std::size_t requestLimit = 4 * normalRequests + 50;
    const std::size_t callLimit = 4 * normalCalls + 200;
    struct Failure {
        const char* what;
        ReplyPlan plan;
    };
    const Failure failures[] = {
        {"500", ReplyPlan::Error("Internal error", 500)},
        {"404", ReplyPlan::Error("Not found", 404)},
        {"a missing-URL error", ReplyPlan::Error("Missing url", 400)},
    };
    std::string initNotes;
    for (const Failure& failure : failures) {
        Loaded plugin;
        plugin.host.FailRequests(failure.plan, requestLimit);
        context.Note(std::string("every request answered with ") + failure.what);
        if (!plugin.Open(context.plugin) || !plugin.Load()) return Verdict::Fail(plugin.error);
        // Refusing to start without the host's answers is the plugin's right.
        if (plugin.session->Init()) Exercise(plugin, context.seed, 3);
        else initNotes += std::string(initNotes.empty() ? "; " : ", ") + "init answered false with " + failure.what;
        plugin.session->Unload();
        const std::size_t requests = plugin.host.Requests().size();
        const std::size_t calls = plugin.host.Calls().size();
        if (plugin.host.FailedRequests() >= requestLimit || requests > requestLimit)
            return Verdict::Fail("with every request answered with " + std::string(failure.what) + " the plugin made " +
                                 std::to_string(requests) + " requests where it makes " + std::to_string(normalRequests) +
                                 " when the host answers (it retries without end), last " +
                                 HostCallText(plugin.host, LastRequest(plugin.host)));
        if (calls > callLimit)
            return Verdict::Fail("with every request answered with " + std::string(failure.what) + " the plugin made " +
                                 std::to_string(calls) + " host calls where it makes " + std::to_string(normalCalls) +
                                 " when the host answers (it floods the host)");
        const std::string fault = plugin.LifecycleFault();
        if (!fault.empty()) return Verdict::Fail("with every request answered with " + std::string(failure.what) + ": " + fault);
    }
    return Verdict::Pass("no loop and no flood with every request answered with 500, 404 and a missing-URL error in turn (" +
                         std::to_string(normalRequests) + " requests when the host answers)" + initNotes);
}

}  // namespace Kesh::StandIn
