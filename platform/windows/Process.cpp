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

}  // namespace Kesh::Platform
