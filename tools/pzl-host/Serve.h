#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "runtime/HostRegistration.h"
#include "tools/fakehost/FakeHost.h"

namespace httplib {
class Server;
}

namespace Kesh::StandIn {

struct ServeSettings {
    // Every request must carry it (Bearer, Basic password or the start URL's cookie).
    std::string token;
    // 0: any free port.
    int port = 0;
    // Larger bodies get 413.
    std::size_t maxBodyBytes = std::size_t{16} << 20;
    // Longer paths get 414; more header bytes or headers get 431.
    std::size_t maxPathBytes = 2048;
    std::size_t maxHeaderBytes = 16 << 10;
    std::size_t maxHeaderCount = 64;
    // A client silent this long while a request is due or half read is dropped.
    int stallSeconds = 5;
    // Connections served at once (each keeps one thread while it is open).
    std::size_t threads = 16;
};

// The reserved prefix of the stand-in host's own endpoints (resources, timeline).
inline constexpr const char* kServePrefix = "/_pzl/";
// The cookie the start URL sets.
inline constexpr const char* kTokenCookie = "pzl-host-token";

// What the plugin and the host did, as JSON objects numbered from 1, for the page's
// live view. Keeps the newest kMaxEntries.
class Timeline {
public:
    static constexpr std::size_t kMaxEntries = 5000;

    // kind and text, plus extra members already written as JSON ("\"status\":200").
    void Add(const std::string& kind, const std::string& text, const std::string& extra = "");
    // Entries numbered above after, waiting up to timeout for one; stops at Close.
    std::vector<std::string> Since(std::uint64_t after, int timeoutMilliseconds);
    std::uint64_t Last() const;
    void Close();
    bool Closed() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> entries_;
    std::uint64_t last_ = 0;
    bool closed_ = false;
    std::uint64_t startNanoseconds_ = 0;
};

// Serves the functions of a loaded plugin over HTTP/1.1 on 127.0.0.1, as the host hands
// them calls: every request whose method and path match a function goes to its handler
// with the method, the URL as sent, the headers, the body and its content type; the
// reply comes back as status, headers and JSON (or a chunked stream). Also serves the
// OpenAPI document, a page to try it all, the host's resource store under
// /_pzl/resources/ (changes raise the host's events) and the timeline as Server-Sent
// Events under /_pzl/events. The host and the record must outlive the server; the
// plugin must be initialised.
class PluginServer {
public:
    PluginServer(FakeHost& host, const HostRegistration& record, ServeSettings settings);
    ~PluginServer();
    PluginServer(const PluginServer&) = delete;
    PluginServer& operator=(const PluginServer&) = delete;

    // Binds 127.0.0.1 on the settings' port; false with error when it cannot.
    bool Bind(std::string& error);
    int Port() const { return port_; }
    // Serves until Stop (from any thread).
    void Run();
    void Stop();

    Timeline& Events() { return timeline_; }
    // The library's server, for a caller that feeds it requests without a socket.
    httplib::Server& Http();
    // What the host and the plugin did since the last look goes to the timeline; then
    // queued resource events are delivered. The driving thread does this by itself.
    void Pump();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    Timeline timeline_;
    int port_ = 0;
};

struct ServeOptions {
    std::string plugin;
    std::string scenario;
    int port = 0;
    std::string token;
};

// pzl-host serve: loads the plugin, starts from the scenario's resources and failures,
// prints the address and the start URL and serves until interrupted. A crash of the
// plugin ends the process with a message naming the function or event it was in.
int ServeCommand(const ServeOptions& options, std::FILE* out);

// A random token of 32 hex digits.
std::string RandomToken();

}  // namespace Kesh::StandIn
