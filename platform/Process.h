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

// Kernel handles (Windows) or file descriptors (elsewhere) the process holds open, so
// that tests can show the platform layer gives back every one it opens.
std::size_t OpenHandleCount();

}  // namespace Kesh::Platform
