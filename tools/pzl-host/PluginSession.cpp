#include "tools/pzl-host/PluginSession.h"

#include "tools/pzl-host/SafeMemory.h"

namespace Kesh::StandIn {

bool PluginSession::Load(std::string& error) {
    record_ = HostRegistration{};
    record_.major = 18;
    library_->Export()(&record_);
    if (record_.callbacks == nullptr || record_.plugin == nullptr || record_.shortName == nullptr) {
        error = "export " + library_->ExportName() + " of " + library_->Path() + " did not fill the registration record";
        return false;
    }
    if (!Readable(record_.callbacks, sizeof(PluginCallbacks))) {
        error = "export " + library_->ExportName() + " handed over an unreadable callbacks table";
        return false;
    }
    // The table lives in the plugin object; the counters' entry is kept past unload.
    callbacks_ = *record_.callbacks;
    if (callbacks_.init == nullptr || callbacks_.unload == nullptr) {
        error = "export " + library_->ExportName() + " handed over no init or unload callback";
        return false;
    }
    loaded_ = true;
    return true;
}

bool PluginSession::Init() { return loaded_ && callbacks_.init(record_.plugin, &host_->Context()) != 0; }

void PluginSession::Unload() {
    if (!loaded_) return;
    loaded_ = false;
    callbacks_.unload(record_.plugin);
}

MemoryStats PluginSession::Stats() const {
    MemoryStats stats{};
    if (callbacks_.memoryStats != nullptr) callbacks_.memoryStats(record_.plugin, &stats);
    return stats;
}

}  // namespace Kesh::StandIn
