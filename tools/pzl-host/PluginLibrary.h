#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Abi.h"
#include "runtime/HostRegistration.h"

namespace Kesh::StandIn {

// A plugin library opened the way the host opens one: by path, with its one export
// looked up by the name the host derives from the file name.
class PluginLibrary {
public:
    using LoadFunction = void(PZL_CDECL*)(HostRegistration* record);

    PluginLibrary() = default;
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Opens path and finds its export; false with a one-line Error() otherwise.
    bool Open(const std::string& path);
    void Close();
    // Leaves the code loaded for the rest of the process, so that what the library's own
    // runtime keeps (its exception pool, say) stays reachable; the object forgets it.
    void KeepLoaded() { handle_ = nullptr; }

    LoadFunction Export() const { return export_; }
    const std::string& Path() const { return path_; }
    const std::string& ShortName() const { return shortName_; }
    const std::string& ExportName() const { return exportName_; }
    const std::string& Error() const { return error_; }

    // "pzl-be-qor-user-experience.so" -> "qor-user-experience": the file name without
    // folder, extension, a "lib" prefix and the "pzl-xx-" prefix.
    static std::string ShortNameOf(std::string_view path);
    // "load_" + the short name with "-" as "_".
    static std::string ExportNameOf(std::string_view shortName);
    // The "pzl-xx-" prefix of the file name ("pzl-be-" for a back-end plugin), or ""
    // for a file without one; the plugin's full name is it and the short name.
    static std::string PrefixOf(std::string_view path);
    std::string FullName(std::string_view shortName) const { return PrefixOf(path_) + std::string(shortName); }

    // Why the first bytes of a file (head) and its size are not a whole Windows
    // library: "not a PE file (...)", or "" when they are. A file cut short fails here
    // rather than in the system's loader, whose error number says little.
    static std::string PeProblem(std::string_view head, std::uint64_t fileSize);
    // The same for an ELF library whose loaded segments reach past the file's end;
    // "" for a whole one and for what is no ELF file (the loader names that).
    static std::string ElfProblem(std::string_view head, std::uint64_t fileSize);

private:
    void* handle_ = nullptr;
    LoadFunction export_ = nullptr;
    std::string path_;
    std::string shortName_;
    std::string exportName_;
    std::string error_;
};

}  // namespace Kesh::StandIn
