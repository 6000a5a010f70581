#pragma once

#include <new>

#include "log/TraceProviders.h"
#include "platform/Abi.h"
#include "platform/LibraryEntry.h"
#include "runtime/CaughtException.h"
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
        LogCaughtException(shortName, "Registration");
        delete plugin;
    }
}

// Registers the library's event-tracing providers while the library loads; they are
// unregistered when it unloads.
struct TraceRegistrationAtLoad {
    TraceRegistrationAtLoad() { TraceProviders::Library().Register(); }
};

}  // namespace Kesh

// The library's entry point on Windows (it wants no per-thread notifications); shared
// objects elsewhere have none.
#if defined(_WIN32)
#define PZL_DEFINE_LIBRARY_ENTRY()                                                         \
    extern "C" int PZL_STDCALL DllMain(void* module, unsigned long reason, void*) {          \
        constexpr unsigned long kProcessAttach = 1;                                        \
        if (reason == kProcessAttach) {                                                    \
            ::Kesh::Platform::DisableThreadNotifications(module);                          \
        }                                                                                  \
        return 1;                                                                          \
    }
#else
#define PZL_DEFINE_LIBRARY_ENTRY()
#endif

// Defines a plugin library's one export, with the library's entry point and the
// tracing providers registered at load, e.g.
//     PZL_DEFINE_PLUGIN_EXPORT(load_my_plugin, MyPlugin, "my-plugin")
#define PZL_DEFINE_PLUGIN_EXPORT(exportName, PluginClass, shortName)        \
    static const ::Kesh::TraceRegistrationAtLoad pzlTraceRegistrationAtLoad; \
    PZL_DEFINE_LIBRARY_ENTRY()                                               \
    PZL_EXPORT void PZL_CDECL exportName(::Kesh::HostRegistration* record) { \
        ::Kesh::LoadPlugin<PluginClass>(record, shortName);                  \
    }
