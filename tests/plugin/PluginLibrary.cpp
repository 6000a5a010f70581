#include "tests/plugin/PluginLibrary.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace Kesh::Testing {

#if defined(_WIN32)
namespace {

// A Windows test built on Linux runs under Wine and knows the library by its Linux
// path; Wine's own export names the Windows path of that file. On Windows itself the
// path already is a Windows path.
HMODULE LoadByPath(const char* path) {
    if (path[0] == '/') {
        using DosFileName = wchar_t*(CDECL*)(const char* unixPath);
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        const auto dosFileName = kernel == nullptr ? nullptr
                                                   : reinterpret_cast<DosFileName>(reinterpret_cast<void*>(
                                                         GetProcAddress(kernel, "wine_get_dos_file_name")));
        if (wchar_t* name = dosFileName == nullptr ? nullptr : dosFileName(path)) {
            const HMODULE module = LoadLibraryW(name);
            HeapFree(GetProcessHeap(), 0, name);
            return module;
        }
    }
    return LoadLibraryA(path);
}

}  // namespace
#endif

const PluginLibrary& PluginLibrary::Instance() {
    static const PluginLibrary library;
    return library;
}

PluginLibrary::PluginLibrary() {
    constexpr const char* kPath = PZL_PLUGIN_LIBRARY_PATH;
    constexpr const char* kExport = "load_qor_user_experience";
#if defined(_WIN32)
    HMODULE module = LoadByPath(kPath);
    if (module == nullptr) {
        error_ = std::string("cannot load ") + kPath + " (error " + std::to_string(GetLastError()) + ")";
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
