#include "tools/pzl-host/Isolation.h"

#include <cstdio>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>

#include <cstdint>
#else
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace Kesh::StandIn {

#if defined(_WIN32)

bool IsolationAvailable() { return true; }
namespace {

// Set in a child started by RunIsolated: the work to run and where its lines go.
struct ChildRole {
    bool active = false;
    std::string workName;
    HANDLE channel = nullptr;
};

ChildRole& Role() {
    static ChildRole role;
    return role;
}

const char* ExceptionName(DWORD code) {
    switch (code) {
    case 0xC0000005: return "access violation";
    case 0xC00000FD: return "stack overflow";
    case 0xC0000094: return "integer division by zero";
    case 0xC000001D: return "illegal instruction";
    case 0xC0000096: return "privileged instruction";
    case 0xC0000409: return "fast fail";
    case 0xC0000374: return "heap corruption";
    case 0x80000003: return "breakpoint";
    default: return "exception";
    }
}

// An unhandled exception ends the child at once with its code: no error box and no
// debugger (Wine would start one), and the parent reads the code as the crash.
LONG WINAPI EndOnException(EXCEPTION_POINTERS* exception) {
    const DWORD code = exception != nullptr && exception->ExceptionRecord != nullptr
                           ? exception->ExceptionRecord->ExceptionCode
                           : 0xC0000005;
    TerminateProcess(GetCurrentProcess(), code);
    return EXCEPTION_EXECUTE_HANDLER;
}

void WriteAll(HANDLE handle, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        const DWORD piece = size > 65536 ? 65536 : static_cast<DWORD>(size);
        if (!WriteFile(handle, data, piece, &written, nullptr) || written == 0) return;
        data += written;
        size -= written;
    }
}

// The child's part: the named work with its lines on the inherited pipe, then the end
// of the process without running this program's or the plugin's cleanup (as after a
// fork), so that a half-torn plugin cannot change the outcome.
[[noreturn]] void RunAsChild(const std::function<int(const Channel&)>& work) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(&EndOnException);
    const HANDLE pipe = Role().channel;
    const Channel channel([pipe](std::string_view line) {
        std::string framed(line);
        framed += '\n';
        WriteAll(pipe, framed.data(), framed.size());
    });
    int code = 3;
    try {
        code = work(channel);
    } catch (...) {
        code = 3;
    }
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));
}

// The arguments this process was started with, as written (everything after the
// program's name), so the child parses exactly what the parent parsed.
std::wstring ArgumentsAsWritten() {
    const wchar_t* line = GetCommandLineW();
    if (line == nullptr) return {};
    // The program's name ends at the closing quote when quoted, else at white space.
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

std::wstring Widen(std::string_view text) {
    std::wstring wide;
    for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return wide;
}

// A copy of handle that a child inherits; null when there is none.
HANDLE Inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return nullptr;
    return copy;
}

void CloseIfOpen(HANDLE handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

}  // namespace

bool EnterIsolatedChild(const std::string& value) {
    const std::size_t colon = value.find(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 >= value.size()) return false;
    unsigned long long handle = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
        handle = handle * 10 + static_cast<unsigned>(value[i] - '0');
    }
    Role().active = true;
    Role().channel = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(handle));
    Role().workName = value.substr(colon + 1);
    return true;
}

std::string CrashText(const IsolatedOutcome& outcome) { return outcome.signalName; }

IsolatedOutcome RunIsolated(std::string_view workName, const std::function<int(const Channel&)>& work,
                            double timeoutSeconds, const std::function<void(std::string_view)>& onLine) {
    IsolatedOutcome outcome;
    if (Role().active) {
        // Another work of the same command: the child that runs it is a different one.
        if (workName != Role().workName) return outcome;
        RunAsChild(work);
    }
    std::fflush(stdout);
    std::fflush(stderr);

    wchar_t executable[32768];
    const DWORD length = GetModuleFileNameW(nullptr, executable, 32768);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (length == 0 || length >= 32768 || !CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        outcome.exitCode = work(Channel(onLine));
        return outcome;
    }
    // Only the write end goes to the child; the parent must see the end of the pipe
    // once the child is gone.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    // The child's standard output goes nowhere: it passes over the other works of the
    // command, which would print their (empty) results. Its errors reach ours.
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    if (nul == INVALID_HANDLE_VALUE) nul = nullptr;
    HANDLE errors = Inheritable(GetStdHandle(STD_ERROR_HANDLE));

    std::wstring command = L"\"" + std::wstring(executable, length) + L"\" " + Widen(kIsolatedChildOption) + L" " +
                           std::to_wstring(reinterpret_cast<std::uintptr_t>(writeEnd)) + L":" + Widen(workName) + L" " +
                           ArgumentsAsWritten();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = errors != nullptr ? errors : nul;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(executable, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                       &startup, &process);
    CloseIfOpen(writeEnd);
    CloseIfOpen(nul);
    CloseIfOpen(errors);
    if (!started) {
        CloseIfOpen(readEnd);
        outcome.exitCode = work(Channel(onLine));
        return outcome;
    }
    CloseIfOpen(process.hThread);

    std::string pending;
    const auto timeoutTicks = static_cast<ULONGLONG>(timeoutSeconds * 1000.0);
    ULONGLONG deadline = GetTickCount64() + timeoutTicks;
    bool timedOut = false;
    for (;;) {
        DWORD available = 0;
        // Fails once the child has ended and everything it wrote has been read.
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available > 0) {
            char buffer[4096];
            DWORD count = 0;
            if (!ReadFile(readEnd, buffer, available < sizeof buffer ? available : sizeof buffer, &count, nullptr) ||
                count == 0)
                break;
            pending.append(buffer, count);
            std::size_t newline;
            while ((newline = pending.find('\n')) != std::string::npos) {
                onLine(std::string_view(pending).substr(0, newline));
                pending.erase(0, newline + 1);
                deadline = GetTickCount64() + timeoutTicks;
            }
            continue;
        }
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            timedOut = true;
            break;
        }
        // Wakes at once when the child ends; otherwise looks at the pipe again soon.
        const ULONGLONG left = deadline - now;
        WaitForSingleObject(process.hProcess, static_cast<DWORD>(left < 20 ? left : 20));
    }
    CloseIfOpen(readEnd);
    if (timedOut) TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 3;
    GetExitCodeProcess(process.hProcess, &status);
    CloseIfOpen(process.hProcess);
    if (timedOut) {
        outcome.end = IsolatedOutcome::End::TimedOut;
    } else if (status >= 0x80000000u) {
        // Exit codes with the top bit set are exception codes: how Windows reports a
        // process that an exception ended.
        outcome.end = IsolatedOutcome::End::Crashed;
        outcome.signal = static_cast<int>(status);
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
        outcome.signalName = std::string("exception ") + code + ", " + ExceptionName(status);
    } else {
        outcome.exitCode = static_cast<int>(status);
    }
    return outcome;
}

#else

bool IsolationAvailable() { return true; }

// Children are forks here; the option is for the Windows build only.
bool EnterIsolatedChild(const std::string&) { return false; }

std::string CrashText(const IsolatedOutcome& outcome) {
    return "signal " + std::to_string(outcome.signal) + ", " + outcome.signalName;
}

namespace {

double Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0) return;
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

}  // namespace

IsolatedOutcome RunIsolated(std::string_view, const std::function<int(const Channel&)>& work, double timeoutSeconds,
                            const std::function<void(std::string_view)>& onLine) {
    IsolatedOutcome outcome;
    int ends[2];
    std::fflush(stdout);
    std::fflush(stderr);
    if (pipe(ends) != 0) {
        outcome.exitCode = work(Channel(onLine));
        return outcome;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        outcome.exitCode = work(Channel(onLine));
        return outcome;
    }
    if (child == 0) {
        close(ends[0]);
        const int fd = ends[1];
        const Channel channel([fd](std::string_view line) {
            std::string framed(line);
            framed += '\n';
            WriteAll(fd, framed.data(), framed.size());
        });
        int code = 3;
        try {
            code = work(channel);
        } catch (...) {
            code = 3;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        // No destructors of the parent's objects run in the child.
        _exit(code);
    }
    close(ends[1]);
    std::string pending;
    double deadline = Now() + timeoutSeconds;
    bool timedOut = false;
    for (;;) {
        const double left = deadline - Now();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd watch{ends[0], POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left * 1000) + 1);
        if (ready < 0) continue;
        if (ready == 0) continue;
        char buffer[4096];
        const ssize_t count = read(ends[0], buffer, sizeof buffer);
        if (count <= 0) break;
        pending.append(buffer, static_cast<std::size_t>(count));
        std::size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            onLine(std::string_view(pending).substr(0, newline));
            pending.erase(0, newline + 1);
            deadline = Now() + timeoutSeconds;
        }
    }
    close(ends[0]);
    if (timedOut) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    if (timedOut) {
        outcome.end = IsolatedOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = IsolatedOutcome::End::Crashed;
        outcome.signal = WTERMSIG(status);
        const char* name = strsignal(outcome.signal);
        outcome.signalName = name != nullptr ? name : "signal";
    } else {
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    }
    return outcome;
}

#endif

}  // namespace Kesh::StandIn
