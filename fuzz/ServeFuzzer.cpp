// Raw bytes to pzl-host serve's request handling, as a client would send them on the
// socket: the HTTP library's parser, then the server's own checks (Host, token, limits),
// its routing to the sample plugin's functions and the host's resource store, and the
// reply written back. No socket: the bytes come from a stream in memory, and what the
// server writes goes to one. Every answer must be a well-formed status line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SampleApiPlugin.h"
#include "runtime/PluginExport.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/Serve.h"
#include "tools/pzl-host/ServeHttp.h"

namespace {

using namespace Kesh;
using namespace Kesh::StandIn;

// The request bytes to read, and the reply kept up to a bound (a long stream stops
// there, as a client that stops reading would stop it).
class MemoryStream : public httplib::Stream {
public:
    MemoryStream(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool is_readable() const override { return position_ < size_; }
    bool is_writable() const override { return written_.size() < kMaxReply; }
    ssize_t read(char* buffer, std::size_t size) override {
        const std::size_t count = std::min(size, size_ - position_);
        std::memcpy(buffer, data_ + position_, count);
        position_ += count;
        return static_cast<ssize_t>(count);
    }
    ssize_t write(const char* buffer, std::size_t size) override {
        if (written_.size() >= kMaxReply) return -1;
        written_.append(buffer, std::min(size, kMaxReply - written_.size()));
        return static_cast<ssize_t>(size);
    }
    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 40000;
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        ip = "127.0.0.1";
        port = 0;
    }
    socket_t socket() const override { return INVALID_SOCKET; }

    const std::string& Written() const { return written_; }

private:
    static constexpr std::size_t kMaxReply = 1 << 20;
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
    std::string written_;
};

struct Fixture {
    FakeHost host;
    HostRegistration record{};
    std::unique_ptr<PluginServer> server;

    Fixture() {
        host.SetLiveStore(true);
        record.major = 18;
        LoadPlugin<Client::SampleApi::Api::SampleApiPlugin>(&record, "sample-api");
        if (record.callbacks == nullptr || record.callbacks->init(record.plugin, &host.Context()) == 0) std::abort();
        ServeSettings settings;
        settings.token = "t";
        server = std::make_unique<PluginServer>(host, record, settings);
        // The timeline's stream would wait for news; closed, it ends at once.
        server->Events().Close();
    }
};

Fixture& TheFixture() {
    static Fixture* fixture = new Fixture();
    return *fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Fixture& fixture = TheFixture();
    MemoryStream stream(data, size);
    static_cast<ServeHttp&>(fixture.server->Http()).HandleStream(stream);
    // Events the store's changes raised go to the plugin, as the driving thread would.
    fixture.server->Pump();
    const std::string& written = stream.Written();
    if (!written.empty() && written.rfind("HTTP/1.1 ", 0) != 0) std::abort();
    return 0;
}
