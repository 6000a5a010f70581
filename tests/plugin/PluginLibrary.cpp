#include "tests/plugin/PluginLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace Kesh::Testing {

const PluginLibrary& PluginLibrary::Instance() {
    static const PluginLibrary library;
    return library;
}

PluginLibrary::PluginLibrary() {
    constexpr const char* kPath = PZL_PLUGIN_LIBRARY_PATH;
    constexpr const char* kExport = "load_qor_user_experience";
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(kPath);
    if (module == nullptr) {
        error_ = std::string("cannot load ") + kPath;
        return;
    }
    export_ = reinterpret_cast<LoadFunction>(reinterpret_cast<void*>(GetProcAddress(module, kExport)));
#else
    void* handle = dlopen(kPath, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : kPath;
        return;
    }
    export_ = reinterpret_cast<LoadFunction>(dlsym(handle, kExport));
#endif
    if (export_ == nullptr) {
        error_ = std::string("no export ") + kExport + " in " + kPath;
    }
}

}  // namespace Kesh::Testing
