#pragma once

#include <string>

#include "runtime/ApiTable.h"
#include "runtime/HostRegistration.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/PluginLibrary.h"

namespace Kesh::StandIn {

// One plugin object of an open library, driven as the host drives it: the export with
// a registration record announcing core version 18.0.0, init with the host's context,
// unload. Unloads at destruction if still loaded.
class PluginSession {
public:
    PluginSession(const PluginLibrary& library, FakeHost& host) : library_(&library), host_(&host) {}
    ~PluginSession() { Unload(); }
    PluginSession(const PluginSession&) = delete;
    PluginSession& operator=(const PluginSession&) = delete;

    // Calls the export; false with a one-line error when the record comes back without
    // callbacks, handle or short name.
    bool Load(std::string& error);
    // PluginInit's answer.
    bool Init();
    void Unload();

    bool Loaded() const { return loaded_; }
    const HostRegistration& Record() const { return record_; }
    const ApiTable* Table() const { return record_.apiTable; }
    // The library's counters; readable after unload too.
    MemoryStats Stats() const;

private:
    const PluginLibrary* library_;
    FakeHost* host_;
    HostRegistration record_{};
    PluginCallbacks callbacks_{};
    bool loaded_ = false;
};

}  // namespace Kesh::StandIn
