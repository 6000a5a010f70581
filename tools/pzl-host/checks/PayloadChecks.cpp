#include "binding/HostValue.h"
#include "tools/pzl-host/checks/Check.h"
#include "tools/pzl-host/ValueJson.h"
#include "tools/pzl-host/checks/PayloadMaker.h"

namespace Kesh::StandIn {
namespace {

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
    PayloadMaker maker(context.seed, plugin.session->Table());
    static const char* const kTypes[] = {"Create", "Update", "Delete", "Bogus"};
    std::size_t delivered = 0;
    for (const std::string& event : events) {
        auto found = paths.find(event);
        const std::string uri = found != paths.end() ? found->second : "/" + event;
        if (random) {
            for (std::uint64_t i = 0; context.More(i, 200, 1.0 / static_cast<double>(events.size())); ++i) {
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
                context.Digest(event);
                context.Digest(ToJson(payload));
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
    const std::string fault = plugin.LifecycleFault();
    if (!fault.empty()) return Verdict::Fail(fault);
    return Verdict::Pass(std::to_string(delivered) + " payloads to " + std::to_string(events.size()) + " events");
}

}  // namespace

Verdict RandomPayloads(const CheckContext& context) { return Payloads(context, true); }
Verdict MalformedPayloads(const CheckContext& context) { return Payloads(context, false); }

}  // namespace Kesh::StandIn
