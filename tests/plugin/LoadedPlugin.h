#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/HostRegistration.h"
#include "tests/support/fakehost/FakeHost.h"

namespace Kesh::Testing {

// One plugin object of the built library, created through its export and driven
// through the callbacks it hands back, as a host does.
class LoadedPlugin {
public:
    // Calls the export with a record that announces core version 18.0.0.
    explicit LoadedPlugin(FakeHost& host);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    bool Registered() const { return record_.callbacks != nullptr && record_.plugin != nullptr; }
    const HostRegistration& Record() const { return record_; }

    bool Init();
    // Shutdown and destruction; the allocation counters stay readable afterwards.
    void Unload();
    // The library's own allocation counters.
    MemoryStats Stats() const;

private:
    FakeHost* host_;
    HostRegistration record_{};
    PluginCallbacks callbacks_{};
    bool loaded_ = false;
};

// The plugin's requests, one line each: "METHOD url" followed by " body" for a text or
// a number body.
std::vector<std::string> Calls(const FakeHost& host);
// How many requests went to method and url.
std::size_t CountCalls(const FakeHost& host, std::string_view method, std::string_view url);
// The messages the plugin logged at level, with the line's decoration cut off.
std::vector<std::string> Logged(const FakeHost& host, std::int32_t level);

}  // namespace Kesh::Testing
