#include "tests/SampleHost.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <vector>

#include <pzl/binding/HostValueConversion.h>

namespace SampleTest {
namespace {

using LoadFunction = void(PZL_CDECL*)(Kesh::HostRegistration* record);

#if defined(_WIN32)
// Built on Linux, the test runs under Wine and knows the library by its Linux path;
// Wine's own export names the Windows path of that file. On Windows itself the path
// already is a Windows path.
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
#endif

struct Library {
    LoadFunction load = nullptr;
    std::string error;

    Library() {
#if defined(_WIN32)
        HMODULE module = LoadByPath(PZL_SAMPLE_LIBRARY_PATH);
        if (module == nullptr) {
            error = std::string("cannot load ") + PZL_SAMPLE_LIBRARY_PATH;
            return;
        }
        load = reinterpret_cast<LoadFunction>(reinterpret_cast<void*>(GetProcAddress(module, "load_sample_api")));
#else
        void* handle = dlopen(PZL_SAMPLE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            error = reason != nullptr ? reason : PZL_SAMPLE_LIBRARY_PATH;
            return;
        }
        load = reinterpret_cast<LoadFunction>(dlsym(handle, "load_sample_api"));
#endif
        if (load == nullptr) error = "no export load_sample_api";
    }
};

const Library& TheLibrary() {
    static const Library library;
    return library;
}

}  // namespace

SamplePlugin::SamplePlugin() {
    if (TheLibrary().load == nullptr) return;
    record_.major = 18;
    TheLibrary().load(&record_);
    if (record_.callbacks != nullptr && record_.plugin != nullptr) {
        callbacks_ = *record_.callbacks;
        loaded_ = true;
    }
}

SamplePlugin::~SamplePlugin() { Unload(); }

std::string SamplePlugin::LoadError() { return TheLibrary().error; }

const Kesh::ApiFunctionRecord* SamplePlugin::Function(std::string_view name) const {
    if (!Loaded()) return nullptr;
    for (std::uint32_t i = 0; i < Table().functionCount; ++i) {
        if (name == Table().functions[i].name) return &Table().functions[i];
    }
    return nullptr;
}

void SamplePlugin::Unload() {
    if (loaded_) {
        callbacks_.unload(record_.plugin);
        loaded_ = false;
        record_.apiTable = nullptr;
    }
}

Kesh::MemoryStats SamplePlugin::Stats() const {
    Kesh::MemoryStats stats{};
    if (callbacks_.memoryStats != nullptr) callbacks_.memoryStats(nullptr, &stats);
    return stats;
}

Reply::~Reply() {
    if (raw.releaseBody != nullptr) raw.releaseBody(raw.bodyOwner);
    if (raw.release != nullptr) raw.release(&raw);
}

BindingProperty Reply::Value() const {
    BindingProperty value;
    Kesh::HostResultHead failure{};
    if (!Kesh::FromHostValue(raw.result.value, value, "<reply>", failure)) failure.Release();
    return value;
}

std::string Reply::ReadBody(std::uint32_t piece) {
    std::string body;
    if (raw.readBody == nullptr) return body;
    std::vector<char> buffer(piece);
    std::uint8_t more = 1;
    while (more != 0) {
        std::uint32_t length = piece;
        if (raw.readBody(raw.bodyOwner, buffer.data(), &length, &more) == 0) break;
        body.append(buffer.data(), length);
    }
    raw.releaseBody(raw.bodyOwner);
    raw.releaseBody = nullptr;
    raw.readBody = nullptr;
    raw.bodyOwner = nullptr;
    return body;
}

void Call(const Kesh::ApiFunctionRecord& function, const Request& request, Reply& reply) {
    std::vector<Kesh::HostHeader> headers;
    for (const auto& [name, value] : request.headers) headers.push_back({name.c_str(), value.c_str()});
    std::vector<Kesh::HostArgument> typed(request.typed.size());
    for (std::size_t i = 0; i < typed.size(); ++i) {
        typed[i].name = request.typed[i].name;
        typed[i].value = Kesh::HostValue{};
        Kesh::ToHostValue(request.typed[i].value, typed[i].value);
    }
    Kesh::HostRequest raw{};
    raw.method = request.method;
    raw.url = request.url.c_str();
    raw.arguments = typed.empty() ? nullptr : typed.data();
    raw.argumentCount = static_cast<std::uint32_t>(typed.size());
    raw.userData = function.userData;
    raw.headers = headers.empty() ? nullptr : headers.data();
    raw.headerCount = static_cast<std::uint32_t>(headers.size());
    raw.contentType = request.contentType;
    raw.body = request.hasBody ? reinterpret_cast<const std::uint8_t*>(request.body.data()) : nullptr;
    raw.bodyLength = static_cast<std::uint32_t>(request.body.size());
    raw.clientId = request.clientId;
    raw.customMethod = request.customMethod.c_str();
    function.handler(&reply.raw, &raw);
    for (Kesh::HostArgument& argument : typed) argument.value.Release();
}

}  // namespace SampleTest
