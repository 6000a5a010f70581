#pragma once

#include <cstdint>
#include <string>

namespace Kesh::Platform {

// The calling thread's id as the operating system numbers it.
std::uintptr_t CurrentThreadId();

// Full path of the running executable; empty when it cannot be found.
std::string ExecutablePath();

// The separator between folders in ExecutablePath().
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Text for an attached debugger's output channel; does nothing where there is none.
void WriteDebuggerOutput(const char* text);

}  // namespace Kesh::Platform
