#include "tools/pzl-host/PluginLibrary.h"

#include <sys/stat.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace Kesh::StandIn {

PluginLibrary::~PluginLibrary() { Close(); }

std::string PluginLibrary::ShortNameOf(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    if (name.starts_with("lib")) name.remove_prefix(3);
    if (name.size() > 7 && name.starts_with("pzl-") && name[6] == '-') name.remove_prefix(7);
    return std::string(name);
}

std::string PluginLibrary::ExportNameOf(std::string_view shortName) {
    std::string name = "load_";
    for (char c : shortName) name += c == '-' ? '_' : c;
    return name;
}

bool PluginLibrary::Open(const std::string& path) {
    Close();
    path_ = path;
    shortName_ = ShortNameOf(path);
    exportName_ = ExportNameOf(shortName_);
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error_ = "cannot open plugin " + path + ": no such file";
        return false;
    }
#if defined(_WIN32)
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        error_ = "cannot load plugin " + path + ": error " + std::to_string(GetLastError());
        return false;
    }
    handle_ = module;
    export_ = reinterpret_cast<LoadFunction>(reinterpret_cast<void*>(GetProcAddress(module, exportName_.c_str())));
#else
    // A path without a folder would be searched for in the library path, not here.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = "cannot load plugin " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }
    export_ = reinterpret_cast<LoadFunction>(dlsym(handle_, exportName_.c_str()));
#endif
    if (export_ == nullptr) {
        error_ = "plugin " + path + " has no export " + exportName_;
        return false;
    }
    return true;
}

void PluginLibrary::Close() {
    if (handle_ != nullptr) {
#if defined(_WIN32)
        FreeLibrary(static_cast<HMODULE>(handle_));
#else
        dlclose(handle_);
#endif
    }
    handle_ = nullptr;
    export_ = nullptr;
    error_.clear();
}

}  // namespace Kesh::StandIn
