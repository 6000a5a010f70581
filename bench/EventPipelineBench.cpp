// One event through the whole plugin, from the host's event callback to the requests
// sent: a gameflow phase change (one affinity DELETE each, between Lobby and
// ChampSelect) and a zoom-scale change (one PATCH of the video settings each). The host
// is the tests' fake host; its payload records are built once, outside the timed loop, as
// a host hands over its own records.
// "allocs" are the library's allocations per event, host and plugin together.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/AllocationCounter.h"
#include "binding/HostValueConversion.h"
#include "plugin/UxPlugin.h"
#include "runtime/EventName.h"
#include "runtime/PluginExport.h"
#include "tools/fakehost/FakeHost.h"

namespace Kesh::Bench {
namespace {

using Kesh::StandIn::FakeHost;

// A host value record built from a value and released with it.
class PayloadRecord {
public:
    explicit PayloadRecord(const BindingProperty& value) { ToHostValue(value, record_); }
    ~PayloadRecord() { record_.Release(); }
    PayloadRecord(const PayloadRecord&) = delete;
    PayloadRecord& operator=(const PayloadRecord&) = delete;
    const HostValue& Record() const { return record_; }

private:
    HostValue record_{};
};

BindingProperty ResourceEvent(const char* path, const BindingProperty& data) {
    BindingProperty payload;
    payload["uri"] = path;
    payload["eventType"] = "Update";
    payload["data"] = data;
    return payload;
}

// The plugin loaded and initialised against the fake host, as the plugin's tests do.
class LoadedUxPlugin {
public:
    LoadedUxPlugin() {
        BindingProperty video;
        video["data"]["ZoomScale"] = 1.0;
        video["schemaVersion"] = 1;
        host_.SetResource("/qor-settings/v1/local/video", video);
        record_.major = 18;
        LoadPlugin<Client::UserExperience::Api::UxPlugin>(&record_, "qor-user-experience");
        ready_ = record_.callbacks != nullptr && record_.plugin != nullptr &&
                 record_.callbacks->init(record_.plugin, &host_.Context()) != 0;
        host_.ClearRecords();
    }
    ~LoadedUxPlugin() {
        if (record_.callbacks != nullptr) record_.callbacks->unload(record_.plugin);
    }
    LoadedUxPlugin(const LoadedUxPlugin&) = delete;
    LoadedUxPlugin& operator=(const LoadedUxPlugin&) = delete;

    bool Ready() const { return ready_; }
    FakeHost& Host() { return host_; }

private:
    FakeHost host_;
    HostRegistration record_{};
    bool ready_ = false;
};

// Delivers the two records in turn; each must make exactly one request.
void Pipeline(benchmark::State& state, const char* path, const BindingProperty& first, const BindingProperty& second) {
    LoadedUxPlugin plugin;
    if (!plugin.Ready()) {
        state.SkipWithError("the plugin did not initialise");
        return;
    }
    FakeHost& host = plugin.Host();
    const std::string eventName = EventName(path);
    const PayloadRecord records[2] = {PayloadRecord(ResourceEvent(path, first)),
                                      PayloadRecord(ResourceEvent(path, second))};
    for (int i = 0; i < 4; ++i) host.DeliverRecord(eventName, records[i % 2].Record());
    if (host.Requests().size() != 4) {
        std::string calls = "an event did not make exactly one request:";
        for (const auto& request : host.Requests()) calls += " " + request.url;
        state.SkipWithError(calls.c_str());
        return;
    }
    host.ClearRecords();
    const AllocationCounter allocations;
    std::size_t delivered = 0;
    for (auto _ : state) {
        host.DeliverRecord(eventName, records[delivered++ % 2].Record());
        if (delivered % 512 == 0) {
            state.PauseTiming();
            host.ClearRecords();  // the fake host keeps every request
            state.ResumeTiming();
        }
    }
    allocations.Report(state);
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

void PhaseEvent(benchmark::State& state) {
    BindingProperty lobby;
    lobby["phase"] = "Lobby";
    BindingProperty champSelect;
    champSelect["phase"] = "ChampSelect";
    Pipeline(state, "/qor-gameflow/v1/session", lobby, champSelect);
}
BENCHMARK(PhaseEvent)->Name("event_pipeline/phase/ours");

void ZoomScaleEvent(benchmark::State& state) {
    Pipeline(state, "/keshclient/zoom-scale", BindingProperty(1.25), BindingProperty(1.5));
}
BENCHMARK(ZoomScaleEvent)->Name("event_pipeline/zoom_scale/ours");

}  // namespace
}  // namespace Kesh::Bench
