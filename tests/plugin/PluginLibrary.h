#pragma once

#include <string>

#include "platform/Abi.h"
#include "runtime/HostRegistration.h"

namespace Kesh::Testing {

// The built plugin library, loaded the way the host loads it. It is loaded once and
// stays loaded for the whole test process, like a host keeps it; every test creates
// its own plugin object through the export.
class PluginLibrary {
public:
    using LoadFunction = void(PZL_CDECL*)(HostRegistration* record);

    static const PluginLibrary& Instance();

    // The export, or null when the library or the symbol could not be found.
    LoadFunction Export() const { return export_; }
    const std::string& Error() const { return error_; }

private:
    PluginLibrary();

    LoadFunction export_ = nullptr;
    std::string error_;
};

}  // namespace Kesh::Testing
