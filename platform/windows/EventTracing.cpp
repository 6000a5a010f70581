#include "platform/EventTracing.h"

#include <windows.h>

namespace Kesh::Platform {

EventTracingApi LoadEventTracing() {
    EventTracingApi api;
    // One reference for the life of the process, however often this is asked: the
    // library is never freed, since unloading it from a static destructor (under the
    // loader lock) is not allowed.
    static const HMODULE advapi = LoadLibraryA("Advapi32.dll");
    if (advapi == nullptr) return api;
    // The entry points are looked up by name so that a system without them still loads us.
    api.eventRegister = reinterpret_cast<TraceRegisterFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "EventRegister")));
    api.eventWrite = reinterpret_cast<TraceWriteFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "EventWrite")));
    api.eventUnregister = reinterpret_cast<TraceUnregisterFunction>(
        reinterpret_cast<void*>(GetProcAddress(advapi, "EventUnregister")));
    return api;
}

}  // namespace Kesh::Platform
