#include <chrono>
#include <thread>

#include "tools/pzl-host/ValueJson.h"
#include "tools/pzl-host/checks/Check.h"
#include "tools/pzl-host/checks/PayloadMaker.h"

namespace Kesh::StandIn {

Verdict InitUnload(const CheckContext& context) {
    std::string counts;
    // Once with values in the replies, once with every answer a streamed body, which the
    // plugin must end as well.
    for (const bool streamed : {false, true}) {
        Loaded plugin;
        if (streamed) plugin.host.StreamAnswers([](const BindingProperty& value) { return ToJson(value); });
        if (!plugin.Open(context.plugin) || !plugin.Load()) return Verdict::Fail(plugin.error);
        const auto start = std::chrono::steady_clock::now();
        if (!plugin.session->Init()) return Verdict::Fail("init answered false");
        if (!streamed) context.Took("init", start, "init");
        Exercise(plugin, context.seed, 1);
        plugin.session->Unload();
        const std::string when = streamed ? " (answers streamed)" : "";
        if (!plugin.host.ActiveSubscriptions().empty())
            return Verdict::Fail("unload left " + std::to_string(plugin.host.ActiveSubscriptions().size()) +
                                 " host subscriptions active, first " + plugin.host.ActiveSubscriptions()[0].eventName + when);
        const std::string fault = plugin.LifecycleFault();
        if (!fault.empty()) return Verdict::Fail(fault + when);
        if (!streamed)
            counts = std::to_string(plugin.host.Subscriptions().size()) + " subscriptions, " +
                     std::to_string(plugin.host.Requests().size()) + " requests";
    }
    return Verdict::Pass(counts + "; streamed answers ended too");
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
        const std::string fault = HostUseFault(host);
        if (!fault.empty()) return Verdict::Fail("cycle " + std::to_string(cycle + 1) + ": " + fault);
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
    for (const FakeHost* host : {&first, &second}) {
        const std::string fault = HostUseFault(*host);
        if (!fault.empty()) return Verdict::Fail(fault);
    }
    return Verdict::Pass("two objects side by side");
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
        PayloadMaker maker(context.seed, session.Table());
        for (std::uint64_t i = 0; events > 0 && context.More(i, static_cast<std::uint64_t>(events)); ++i) {
            for (const auto& [event, path] : paths) {
                const BindingProperty data = maker.Value(0);
                context.Digest(path);
                context.Digest(ToJson(data));
                host.DeliverResourceEvent(path, "Update", data);
            }
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

Verdict BeforeInitAfterUnload(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Open(context.plugin) || !plugin.Load()) return Verdict::Fail(plugin.error);
    // The counters may be read at any time, before init too.
    plugin.session->Stats();
    if (!plugin.host.Calls().empty()) return Verdict::Fail("the plugin called the host before init: " + HostCallText(plugin.host, plugin.host.Calls()[0]));
    if (!plugin.session->Init()) return Verdict::Fail("init answered false");
    // Events of every subscription right before unload; nothing they start may reach
    // the host after it.
    const std::size_t subscriptions = plugin.host.Subscriptions().size();
    Exercise(plugin, context.seed, 1);
    plugin.session->Unload();
    std::size_t callsAtUnload = 0;
    plugin.host.ReadRecords([&](const FakeHost& host) { callsAtUnload = host.Calls().size(); });
    if (!plugin.host.ActiveSubscriptions().empty())
        return Verdict::Fail("after unload the host would still deliver " + plugin.host.ActiveSubscriptions()[0].eventName +
                             " to a destroyed object");
    std::this_thread::sleep_for(std::chrono::milliseconds(context.graceMilliseconds));
    const MemoryStats stats = plugin.session->Stats();
    std::string late;
    std::size_t lateCount = 0;
    plugin.host.ReadRecords([&](const FakeHost& host) {
        for (std::size_t i = callsAtUnload; i < host.Calls().size(); ++i) {
            if (lateCount++ < 3) late += (late.empty() ? "" : "; ") + HostCallText(host, host.Calls()[i]);
        }
    });
    if (lateCount > 0)
        return Verdict::Fail("the plugin called the host " + std::to_string(lateCount) + " time(s) after unload: " + late);
    const std::string fault = plugin.LifecycleFault();
    if (!fault.empty()) return Verdict::Fail(fault);
    return Verdict::Pass(std::to_string(subscriptions) + " subscriptions ended, no call in " +
                         std::to_string(context.graceMilliseconds) + " ms after unload; " + std::to_string(stats.freeCount) +
                         " frees counted");
}

}  // namespace Kesh::StandIn
