// pzl-host serve: one HTTP call of GetItem over the loopback (keep-alive, the library's
// client), against one bare request of the same server library that does no dispatch
// and answers a body of the same size. The difference is what serve adds: its checks,
// the routing and the plugin's dispatch. Wall-clock time, and the processor time of the
// whole process (client and server threads), which a busy machine disturbs less.
#include <benchmark/benchmark.h>

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

#include "SampleApiPlugin.h"
#include "runtime/PluginExport.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/Serve.h"

namespace Kesh::Bench {
namespace {

using Client::SampleApi::Api::SampleApiPlugin;
using StandIn::FakeHost;
using StandIn::PluginServer;

constexpr const char* kToken = "bench";
constexpr const char* kItemReply = R"({"id":5,"name":"item-5","verbose":false})";

void Measure(benchmark::State& state, int port, const char* path, const std::string& expected) {
    httplib::Client client("127.0.0.1", port);
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_bearer_token_auth(kToken);
    for (auto _ : state) {
        httplib::Result result = client.Get(path);
        if (!result || result->status != 200 || result->body != expected) {
            state.SkipWithError("unexpected reply");
            break;
        }
    }
}

void BM_ServeGetItem(benchmark::State& state) {
    FakeHost host;
    HostRegistration record{};
    record.major = 18;
    LoadPlugin<SampleApiPlugin>(&record, "sample-api");
    record.callbacks->init(record.plugin, &host.Context());
    {
        StandIn::ServeSettings settings;
        settings.token = kToken;
        PluginServer server(host, record, settings);
        std::string error;
        if (!server.Bind(error)) {
            state.SkipWithError(error.c_str());
        } else {
            std::thread running([&] { server.Run(); });
            Measure(state, server.Port(), "/sample/v1/items/5", kItemReply);
            server.Stop();
            running.join();
        }
    }
    record.callbacks->unload(record.plugin);
}
BENCHMARK(BM_ServeGetItem)->MeasureProcessCPUTime()->UseRealTime();

void BM_HttplibBareRequest(benchmark::State& state) {
    httplib::Server server;
    server.set_tcp_nodelay(true);
    server.set_keep_alive_max_count(1000000);
    server.Get("/sample/v1/items/5", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(kItemReply, "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::thread running([&] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::yield();
    Measure(state, port, "/sample/v1/items/5", kItemReply);
    server.stop();
    running.join();
}
BENCHMARK(BM_HttplibBareRequest)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
}  // namespace Kesh::Bench
