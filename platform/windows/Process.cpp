#include "platform/Process.h"

#include <windows.h>

namespace Kesh::Platform {

std::uintptr_t CurrentThreadId() { return GetCurrentThreadId(); }

std::string ExecutablePath() {
    char path[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0) return {};
    return std::string(path, length);
}

void WriteDebuggerOutput(const char* text) { OutputDebugStringA(text); }

namespace {

// One entry of the system's handle table (system information class 16).
struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};

using QuerySystemInformation = LONG(WINAPI*)(ULONG informationClass, PVOID buffer, ULONG length, PULONG needed);

// Where the process's own count is not kept (Wine answers 0), the system's handle
// table is read instead and this process's entries counted.
std::size_t CountInSystemHandleTable() {
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return 0;
    const auto query = reinterpret_cast<QuerySystemInformation>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    if (query == nullptr) return 0;
    const ULONG self = GetCurrentProcessId();
    ULONG length = 64 * 1024;
    for (int attempt = 0; attempt < 8; ++attempt, length *= 4) {
        void* buffer = VirtualAlloc(nullptr, length, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        if (buffer == nullptr) return 0;
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer, length, &needed);
        std::size_t count = 0;
        if (status >= 0) {
            const ULONG entries = *static_cast<const ULONG*>(buffer);
            const auto* entry = reinterpret_cast<const SystemHandleEntry*>(static_cast<const char*>(buffer) +
                                                                           sizeof(ULONG_PTR));
            for (ULONG i = 0; i < entries; ++i) {
                if (entry[i].ownerProcessId == self) ++count;
            }
        }
        VirtualFree(buffer, 0, MEM_RELEASE);
        if (status != kInfoLengthMismatch) return count;
    }
    return 0;
}

}  // namespace

std::size_t OpenHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) return count;
    return CountInSystemHandleTable();
}

}  // namespace Kesh::Platform
