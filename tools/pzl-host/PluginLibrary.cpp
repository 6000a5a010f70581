#include "tools/pzl-host/PluginLibrary.h"

#include <sys/stat.h>

#include <cstdio>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define PZL_HOST_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PZL_HOST_LEAK_CHECKED 1
#endif
#endif

namespace Kesh::StandIn {

#if !defined(_WIN32)
// Under the leak checker a library stays mapped after it is closed: once unmapped, what
// its own static C++ runtime allocated (its emergency exception pool) is reachable from
// nowhere and reported as a leak of pzl-host's.
#if defined(PZL_HOST_LEAK_CHECKED)
constexpr int kKeepLoaded = RTLD_NODELETE;
#else
constexpr int kKeepLoaded = 0;
#endif
#endif

PluginLibrary::~PluginLibrary() { Close(); }

namespace {

// The file name without folder, extension and a "lib" prefix.
std::string_view Stem(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find('.');
    if (dot != std::string_view::npos) name = name.substr(0, dot);
    if (name.starts_with("lib")) name.remove_prefix(3);
    return name;
}

bool HasPrefix(std::string_view name) { return name.size() > 7 && name.starts_with("pzl-") && name[6] == '-'; }

std::uint64_t Little(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) value |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

// The first bytes of the file at path, up to 64 KiB.
std::string Head(const std::string& path) {
    std::string head(65536, '\0');
    std::FILE* file = std::fopen(path.c_str(), "rb");
    head.resize(file != nullptr ? std::fread(head.data(), 1, head.size(), file) : 0);
    if (file != nullptr) std::fclose(file);
    return head;
}

}  // namespace

std::string PluginLibrary::ShortNameOf(std::string_view path) {
    std::string_view name = Stem(path);
    if (HasPrefix(name)) name.remove_prefix(7);
    return std::string(name);
}

std::string PluginLibrary::PrefixOf(std::string_view path) {
    const std::string_view name = Stem(path);
    return HasPrefix(name) ? std::string(name.substr(0, 7)) : std::string();
}

std::string PluginLibrary::PeProblem(std::string_view head, std::uint64_t fileSize) {
    if (head.size() > fileSize) head = head.substr(0, static_cast<std::size_t>(fileSize));
    if (head.size() < 64 || head[0] != 'M' || head[1] != 'Z') return "not a PE file (no MZ header)";
    const std::uint64_t pe = Little(head, 0x3C, 4);
    if (pe + 24 > head.size() || head.substr(static_cast<std::size_t>(pe), 4) != std::string_view("PE\0\0", 4))
        return "not a PE file (no PE header)";
    const std::size_t coff = static_cast<std::size_t>(pe) + 4;
    const std::uint64_t sections = Little(head, coff + 2, 2);
    const std::uint64_t table = coff + 20 + Little(head, coff + 16, 2);
    const std::uint64_t tableEnd = table + 40ull * sections;
    if (tableEnd > fileSize) return "not a PE file (cut short in its section table)";
    if (tableEnd > head.size()) return "";
    std::uint64_t needed = tableEnd;
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::size_t section = static_cast<std::size_t>(table + 40u * i);
        const std::uint64_t size = Little(head, section + 16, 4);
        const std::uint64_t offset = Little(head, section + 20, 4);
        if (size != 0 && offset + size > needed) needed = offset + size;
    }
    if (needed > fileSize)
        return "not a PE file (cut short: its sections end at byte " + std::to_string(needed) + ", the file has " +
               std::to_string(fileSize) + ")";
    return "";
}

std::string PluginLibrary::ElfProblem(std::string_view head, std::uint64_t fileSize) {
    if (head.size() > fileSize) head = head.substr(0, static_cast<std::size_t>(fileSize));
    // Not an ELF file at all: the loader says so well enough.
    if (head.size() < 52 || head.substr(0, 4) != "\x7f" "ELF" || head[5] != 1) return "";
    const bool wide = head[4] == 2;
    if (wide && head.size() < 64) return "";
    const std::uint64_t table = wide ? Little(head, 0x20, 8) : Little(head, 0x1C, 4);
    const std::uint64_t entrySize = Little(head, wide ? 0x36 : 0x2A, 2);
    const std::uint64_t entries = Little(head, wide ? 0x38 : 0x2C, 2);
    const std::uint64_t tableEnd = table + entrySize * entries;
    std::uint64_t needed = tableEnd;
    if (tableEnd <= head.size() && entrySize >= (wide ? 56u : 32u)) {
        for (std::uint64_t i = 0; i < entries; ++i) {
            const std::size_t entry = static_cast<std::size_t>(table + entrySize * i);
            if (Little(head, entry, 4) != 1) continue;  // PT_LOAD: mapped from the file
            const std::uint64_t offset = wide ? Little(head, entry + 8, 8) : Little(head, entry + 4, 4);
            const std::uint64_t size = wide ? Little(head, entry + 32, 8) : Little(head, entry + 16, 4);
            if (offset + size > needed) needed = offset + size;
        }
    }
    // Mapped past its end, the file would end the process with a bus error on first use.
    if (needed > fileSize)
        return "a truncated ELF file (its segments end at byte " + std::to_string(needed) + ", the file has " +
               std::to_string(fileSize) + ")";
    return "";
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
    {
        const std::string problem = PeProblem(Head(path), static_cast<std::uint64_t>(info.st_size));
        if (!problem.empty()) {
            error_ = "cannot load plugin " + path + ": " + problem;
            return false;
        }
    }
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        const DWORD code = GetLastError();
        error_ = "cannot load plugin " + path + ": " +
                 (code == ERROR_BAD_EXE_FORMAT ? std::string("not a library this pzl-host can load (another architecture?)")
                                               : "error " + std::to_string(code));
        return false;
    }
    handle_ = module;
    export_ = reinterpret_cast<LoadFunction>(reinterpret_cast<void*>(GetProcAddress(module, exportName_.c_str())));
#else
    const std::string problem = ElfProblem(Head(path), static_cast<std::uint64_t>(info.st_size));
    if (!problem.empty()) {
        error_ = "cannot load plugin " + path + ": " + problem;
        return false;
    }
    // A path without a folder would be searched for in the library path, not here.
    const std::string openPath = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(openPath.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepLoaded);
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
