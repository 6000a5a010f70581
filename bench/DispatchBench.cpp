// Dispatch of host calls to the sample plugin's functions: from the host's request
// record to the filled reply (and its release), in process.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "SampleApiPlugin.h"
#include "bench/AllocationCounter.h"
#include "bench/ResidentTree.h"
#include "runtime/PluginExport.h"

namespace Kesh::Bench {
namespace {

using Client::SampleApi::Api::SampleApiPlugin;

class SamplePlugin {
public:
    SamplePlugin() {
        record_.major = 18;
        LoadPlugin<SampleApiPlugin>(&record_, "sample-api");
    }
    ~SamplePlugin() {
        if (record_.callbacks != nullptr) record_.callbacks->unload(record_.plugin);
    }
    const ApiFunctionRecord* Function(std::string_view name) const {
        for (std::uint32_t i = 0; i < record_.apiTable->functionCount; ++i) {
            if (name == record_.apiTable->functions[i].name) return &record_.apiTable->functions[i];
        }
        return nullptr;
    }

private:
    HostRegistration record_{};
};

void Dispatch(benchmark::State& state, const ApiFunctionRecord* function, HostRequest& request) {
    if (function == nullptr) {
        state.SkipWithError("function not found");
        return;
    }
    request.userData = function->userData;
    // A running plugin keeps values alive, and with them a memory region of the pools.
    const ResidentTree resident;
    AllocationCounter counter;
    for (auto _ : state) {
        HostReply reply{};
        function->handler(&reply, &request);
        if (reply.result.hasError != 0) {
            state.SkipWithError(reply.result.errorText);
            reply.release(&reply);
            break;
        }
        reply.release(&reply);
    }
    counter.Report(state);
}

void BM_DispatchGetItem(benchmark::State& state) {
    SamplePlugin plugin;
    HostRequest request{};
    request.method = 2;
    request.url = "/sample/v1/items/42?verbose=true";
    Dispatch(state, plugin.Function("GetItem"), request);
}
BENCHMARK(BM_DispatchGetItem);

void BM_DispatchPutFileJson1K(benchmark::State& state) {
    SamplePlugin plugin;
    // About 1 KB of JSON: an object of small records.
    std::string body = "{\"entries\":[";
    for (int i = 0; body.size() < 1000; ++i) {
        body += (i > 0 ? "," : "") + std::string("{\"id\":") + std::to_string(i) + ",\"name\":\"entry\",\"on\":true}";
    }
    body += "]}";
    HostRequest request{};
    request.method = 7;
    request.url = "/sample/v1/files/docs/readme.json";
    request.contentType = "application/json";
    request.body = reinterpret_cast<const std::uint8_t*>(body.c_str());
    request.bodyLength = static_cast<std::uint32_t>(body.size() + 1);
    state.SetBytesProcessed(0);
    Dispatch(state, plugin.Function("PutFile"), request);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(body.size()));
}
BENCHMARK(BM_DispatchPutFileJson1K);

}  // namespace
}  // namespace Kesh::Bench
