#include "tools/pzl-host/checks/Check.h"
#include "tools/pzl-host/ValueJson.h"
#include "tools/pzl-host/checks/PayloadMaker.h"

namespace Kesh::StandIn {

Verdict InitUnload(const CheckContext& context) {
    Loaded plugin;
    if (!plugin.Open(context.plugin) || !plugin.Load()) return Verdict::Fail(plugin.error);
    const auto start = std::chrono::steady_clock::now();
    if (!plugin.session->Init()) return Verdict::Fail("init answered false");
    context.Took("init", start, "init");
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

}  // namespace Kesh::StandIn
