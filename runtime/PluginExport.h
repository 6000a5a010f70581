#pragma once

#include <new>

#include "platform/Abi.h"
#include "runtime/PluginBase.h"

namespace Kesh {

// What a plugin library's export does: create the plugin object and register it.
// When no storage can be had for the object, the record is left untouched, which the
// host reads as a failed load.
template <typename Plugin>
void LoadPlugin(HostRegistration* record, const char* shortName) noexcept {
    if (record == nullptr) {
        return;
    }
    Plugin* plugin = nullptr;
    try {
        plugin = new (std::nothrow) Plugin();
        if (plugin == nullptr) {
            return;
        }
        PluginBase::Register(plugin, record, shortName);
    } catch (...) {
        // Nothing may escape into the host; a plugin that could not register is gone.
        delete plugin;
    }
}

}  // namespace Kesh

// Defines a plugin library's one export, e.g.
//     PZL_DEFINE_PLUGIN_EXPORT(load_my_plugin, MyPlugin, "my-plugin")
#define PZL_DEFINE_PLUGIN_EXPORT(exportName, PluginClass, shortName)        \
    PZL_EXPORT void PZL_CDECL exportName(::Kesh::HostRegistration* record) { \
        ::Kesh::LoadPlugin<PluginClass>(record, shortName);                  \
    }
