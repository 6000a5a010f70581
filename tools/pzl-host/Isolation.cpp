#include "tools/pzl-host/Isolation.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/CallJournal.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <windows.h>

#include <cstdint>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

namespace Kesh::StandIn {
namespace {

// The last calls of a child, in memory shared with its parent, so that they survive a
// crash or a kill of the child. The writer publishes a line by raising count after the
// line is complete; one slot more than is shown, so that the slot being written when
// the child dies is never one of those read.
struct JournalRing {
    static constexpr std::uint32_t kSlots = static_cast<std::uint32_t>(kRecentCalls) + 1;
    static constexpr std::size_t kLine = 240;
    std::atomic<std::uint32_t> count{0};
    char lines[kSlots][kLine]{};
};
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "the count is shared between processes");

// The journal of the work running in this process (a child), or none.
JournalRing* activeJournal = nullptr;
std::mutex journalMutex;

std::vector<std::string> ReadJournal(const JournalRing* ring) {
    std::vector<std::string> lines;
    if (ring == nullptr) return lines;
    const std::uint32_t count = ring->count.load(std::memory_order_acquire);
    for (std::uint32_t i = count > kRecentCalls ? count - static_cast<std::uint32_t>(kRecentCalls) : 0; i < count; ++i) {
        const char* line = ring->lines[i % JournalRing::kSlots];
        lines.emplace_back(line, strnlen(line, JournalRing::kLine));
    }
    return lines;
}

// The child's side: every host call of every fake host goes to the ring.
void StartJournal(JournalRing* ring) {
    activeJournal = ring;
    if (ring != nullptr) FakeHost::SetCallWatcher(&JournalHostCall);
}

std::atomic<bool> inProcess{false};

std::mutex seedMutex;
std::optional<std::uint64_t> resolvedSeed;

// One RunIsolated at a time creates its child: a child must not inherit the write end
// of another child's channel, or that channel would stay open until both ended.
std::mutex spawnMutex;

std::uint64_t Mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

// Lines from the child's channel, as they arrive; the keep-alive line only restarts
// the clock.
struct LineReader {
    const std::function<void(std::string_view)>& onLine;
    std::string pending;
    // Whether a whole line arrived.
    bool Take(const char* data, std::size_t size) {
        pending.append(data, size);
        bool any = false;
        std::size_t newline;
        while ((newline = pending.find('\n')) != std::string::npos) {
            const std::string_view line = std::string_view(pending).substr(0, newline);
            if (line != Channel::kAliveLine) onLine(line);
            pending.erase(0, newline + 1);
            any = true;
        }
        return any;
    }
};

IsolatedOutcome RunHere(const std::function<int(const Channel&)>& work, const std::function<void(std::string_view)>& onLine) {
    IsolatedOutcome outcome;
    outcome.exitCode = work(Channel([&](std::string_view line) {
        if (line != Channel::kAliveLine) onLine(line);
    }));
    return outcome;
}

}  // namespace

void SetInProcess(bool on) { inProcess.store(on); }
bool InProcess() { return inProcess.load(); }

void JournalCall(std::string_view line) {
    JournalRing* ring = activeJournal;
    if (ring == nullptr) return;
    std::lock_guard<std::mutex> guard(journalMutex);
    const std::uint32_t count = ring->count.load(std::memory_order_relaxed);
    char* slot = ring->lines[count % JournalRing::kSlots];
    const std::size_t size = line.size() < JournalRing::kLine - 1 ? line.size() : JournalRing::kLine - 1;
    std::memcpy(slot, line.data(), size);
    slot[size] = '\0';
    ring->count.store(count + 1, std::memory_order_release);
}

bool JournalActive() { return activeJournal != nullptr; }

std::string FailureDetails(const IsolatedOutcome& outcome, const std::string& indent) {
    std::string text;
    if (!outcome.recentCalls.empty()) {
        text += indent + "last host calls, oldest first:\n";
        for (const std::string& call : outcome.recentCalls) text += indent + "  " + call + "\n";
    }
    if (!outcome.output.empty()) {
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < outcome.output.size()) {
            std::size_t end = outcome.output.find('\n', start);
            if (end == std::string::npos) end = outcome.output.size();
            lines.push_back(outcome.output.substr(start, end - start));
            if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
            start = end + 1;
        }
        // The last lines, nearest to the failure.
        constexpr std::size_t kShown = 40;
        const std::size_t first = lines.size() > kShown ? lines.size() - kShown : 0;
        text += indent + "the plugin's output";
        if (first > 0 || outcome.outputCut) text += ", its last " + std::to_string(lines.size() - first) + " lines";
        text += ":\n";
        for (std::size_t i = first; i < lines.size(); ++i) text += indent + "  | " + lines[i] + "\n";
    }
    return text;
}

#if defined(_WIN32)

bool IsolationAvailable() { return true; }
namespace {

// Set in a child started by RunIsolated: the work to run, where its lines go, its
// journal and capture file, and the parent's seed.
struct ChildRole {
    bool active = false;
    std::string workName;
    HANDLE channel = nullptr;
    HANDLE journal = nullptr;
    HANDLE capture = nullptr;
    bool hasSeed = false;
    std::uint64_t seed = 0;
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

// Standard output and error of this process (the C runtime's, which the plugin shares,
// and the system's handles) into the capture file, unbuffered so that nothing written
// before a crash is lost.
void CaptureOutput(HANDLE capture) {
    if (capture == nullptr) return;
    std::fflush(stdout);
    std::fflush(stderr);
    SetStdHandle(STD_OUTPUT_HANDLE, capture);
    SetStdHandle(STD_ERROR_HANDLE, capture);
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(capture), _O_WRONLY | _O_BINARY);
    if (fd >= 0) {
        _dup2(fd, 1);
        _dup2(fd, 2);
    }
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
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
    if (Role().journal != nullptr) {
        void* view = MapViewOfFile(Role().journal, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(JournalRing));
        StartJournal(static_cast<JournalRing*>(view));
    }
    CaptureOutput(Role().capture);
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

std::wstring HandleText(HANDLE handle) { return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle)); }

// A temporary file that goes away with its last handle.
HANDLE CaptureFile(SECURITY_ATTRIBUTES& inherit) {
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"pzl", 0, name) == 0) return nullptr;
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DeleteFileW(name);
        return nullptr;
    }
    return file;
}

void ReadCapture(HANDLE file, IsolatedOutcome& outcome) {
    // The end of it: what was written last is nearest to the failure.
    LARGE_INTEGER size{};
    if (file == nullptr || !GetFileSizeEx(file, &size) || size.QuadPart <= 0) return;
    LARGE_INTEGER at{};
    at.QuadPart = size.QuadPart > static_cast<LONGLONG>(kOutputLimit) ? size.QuadPart - static_cast<LONGLONG>(kOutputLimit) : 0;
    outcome.outputCut = at.QuadPart > 0;
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return;
    char buffer[8192];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) outcome.output.append(buffer, count);
}

bool ParseNumber(std::string_view text, unsigned long long& value) {
    if (text.empty()) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

}  // namespace

bool EnterIsolatedChild(const std::string& value) {
    // "<channel>:<journal>:<capture>:<seed or ->:<work name>", handles in decimal (0 for none).
    std::string_view rest = value;
    std::string_view fields[4];
    for (std::string_view& field : fields) {
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos) return false;
        field = rest.substr(0, colon);
        rest.remove_prefix(colon + 1);
    }
    unsigned long long channel = 0, journal = 0, capture = 0, seed = 0;
    if (rest.empty() || !ParseNumber(fields[0], channel) || channel == 0 || !ParseNumber(fields[1], journal) ||
        !ParseNumber(fields[2], capture) || (fields[3] != "-" && !ParseNumber(fields[3], seed)))
        return false;
    ChildRole& role = Role();
    role.active = true;
    role.channel = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(channel));
    role.journal = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(journal));
    role.capture = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(capture));
    role.hasSeed = fields[3] != "-";
    role.seed = seed;
    role.workName = std::string(rest);
    return true;
}

std::uint64_t ResolveSeed(const std::optional<std::uint64_t>& given) {
    std::lock_guard<std::mutex> guard(seedMutex);
    if (!resolvedSeed) {
        if (Role().active && Role().hasSeed) {
            resolvedSeed = Role().seed;
        } else if (given) {
            resolvedSeed = *given;
        } else {
            const auto now = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
            resolvedSeed = Mix(now ^ (static_cast<std::uint64_t>(_getpid()) << 32)) % 1000000007u;
        }
    }
    return *resolvedSeed;
}

std::string CrashText(const IsolatedOutcome& outcome) { return outcome.signalName; }

IsolatedOutcome RunIsolated(std::string_view workName, const std::function<int(const Channel&)>& work,
                            double timeoutSeconds, const std::function<void(std::string_view)>& onLine,
                            const std::atomic<bool>* stop) {
    IsolatedOutcome outcome;
    if (Role().active) {
        // Another work of the same command: the child that runs it is a different one.
        if (workName != Role().workName) return outcome;
        RunAsChild(work);
    }
    if (InProcess()) return RunHere(work, onLine);

    std::unique_lock<std::mutex> spawning(spawnMutex);
    std::fflush(stdout);
    std::fflush(stderr);
    wchar_t executable[32768];
    const DWORD length = GetModuleFileNameW(nullptr, executable, 32768);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (length == 0 || length >= 32768 || !CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        spawning.unlock();
        return RunHere(work, onLine);
    }
    // Only the write end goes to the child; the parent must see the end of the pipe
    // once the child is gone.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE journal = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0, sizeof(JournalRing), nullptr);
    JournalRing* ring = nullptr;
    if (journal != nullptr) {
        void* view = MapViewOfFile(journal, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(JournalRing));
        if (view != nullptr) ring = new (view) JournalRing();
    }
    const HANDLE capture = CaptureFile(inherit);
    // The child's standard output goes nowhere until its work starts: it passes over the
    // other works of the command, which would print their (empty) results. Its errors
    // reach ours until then.
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    if (nul == INVALID_HANDLE_VALUE) nul = nullptr;
    HANDLE errors = Inheritable(GetStdHandle(STD_ERROR_HANDLE));

    std::wstring seedText = L"-";
    {
        std::lock_guard<std::mutex> guard(seedMutex);
        if (resolvedSeed) seedText = std::to_wstring(*resolvedSeed);
    }
    std::wstring command = L"\"" + std::wstring(executable, length) + L"\" " + Widen(kIsolatedChildOption) + L" " +
                           HandleText(writeEnd) + L":" + HandleText(ring != nullptr ? journal : nullptr) + L":" +
                           HandleText(capture) + L":" + seedText + L":" + Widen(workName) + L" " + ArgumentsAsWritten();
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
    spawning.unlock();
    auto release = [&] {
        if (ring != nullptr) UnmapViewOfFile(ring);
        CloseIfOpen(journal);
        CloseIfOpen(capture);
        CloseIfOpen(readEnd);
    };
    if (!started) {
        release();
        return RunHere(work, onLine);
    }
    CloseIfOpen(process.hThread);

    LineReader reader{onLine, {}};
    const auto timeoutTicks = static_cast<ULONGLONG>(timeoutSeconds * 1000.0);
    ULONGLONG deadline = GetTickCount64() + timeoutTicks;
    bool timedOut = false, stopped = false;
    auto drain = [&]() -> bool {
        DWORD available = 0;
        // Fails once the child has ended and everything it wrote has been read.
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) return false;
        while (available > 0) {
            char buffer[4096];
            DWORD count = 0;
            if (!ReadFile(readEnd, buffer, available < sizeof buffer ? available : sizeof buffer, &count, nullptr) || count == 0)
                return false;
            if (reader.Take(buffer, count)) deadline = GetTickCount64() + timeoutTicks;
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) return false;
        }
        return true;
    };
    for (;;) {
        if (!drain()) break;
        if (stop != nullptr && stop->load()) {
            stopped = true;
            break;
        }
        // Ended, with a copy of the pipe left in another child: what it wrote is read.
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            drain();
            break;
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
    if (timedOut || stopped) TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 3;
    GetExitCodeProcess(process.hProcess, &status);
    CloseIfOpen(process.hProcess);
    if (stopped) {
        outcome.end = IsolatedOutcome::End::Stopped;
    } else if (timedOut) {
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
    if (outcome.end == IsolatedOutcome::End::Crashed || outcome.end == IsolatedOutcome::End::TimedOut)
        outcome.recentCalls = ReadJournal(ring);
    ReadCapture(capture, outcome);
    release();
    return outcome;
}

#else

bool IsolationAvailable() { return true; }

// Children are forks here; the option is for the Windows build only.
bool EnterIsolatedChild(const std::string&) { return false; }

std::uint64_t ResolveSeed(const std::optional<std::uint64_t>& given) {
    // A fork starts with its parent's memory: a seed resolved before it is the child's.
    std::lock_guard<std::mutex> guard(seedMutex);
    if (!resolvedSeed) {
        if (given) {
            resolvedSeed = *given;
        } else {
            const auto now = static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
            resolvedSeed = Mix(now ^ (static_cast<std::uint64_t>(getpid()) << 32)) % 1000000007u;
        }
    }
    return *resolvedSeed;
}

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

void ReadCapture(std::FILE* file, IsolatedOutcome& outcome) {
    if (file == nullptr) return;
    // The end of it: what was written last is nearest to the failure.
    const off_t size = lseek(fileno(file), 0, SEEK_END);
    if (size <= 0) return;
    off_t at = size > static_cast<off_t>(kOutputLimit) ? size - static_cast<off_t>(kOutputLimit) : 0;
    outcome.outputCut = at > 0;
    char buffer[8192];
    for (;;) {
        const ssize_t count = pread(fileno(file), buffer, sizeof buffer, at);
        if (count <= 0) break;
        outcome.output.append(buffer, static_cast<std::size_t>(count));
        at += count;
    }
}

}  // namespace

IsolatedOutcome RunIsolated(std::string_view, const std::function<int(const Channel&)>& work, double timeoutSeconds,
                            const std::function<void(std::string_view)>& onLine, const std::atomic<bool>* stop) {
    if (InProcess()) return RunHere(work, onLine);
    IsolatedOutcome outcome;
    std::unique_lock<std::mutex> spawning(spawnMutex);
    int ends[2];
    std::fflush(stdout);
    std::fflush(stderr);
    if (pipe(ends) != 0) {
        spawning.unlock();
        return RunHere(work, onLine);
    }
    void* shared = mmap(nullptr, sizeof(JournalRing), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    JournalRing* ring = shared != MAP_FAILED ? new (shared) JournalRing() : nullptr;
    std::FILE* capture = std::tmpfile();
    auto release = [&] {
        if (ring != nullptr) munmap(ring, sizeof(JournalRing));
        if (capture != nullptr) std::fclose(capture);
    };
    const pid_t child = fork();
    if (child < 0) {
        close(ends[0]);
        close(ends[1]);
        release();
        spawning.unlock();
        return RunHere(work, onLine);
    }
    if (child == 0) {
        close(ends[0]);
        const int fd = ends[1];
        const Channel channel([fd](std::string_view line) {
            std::string framed(line);
            framed += '\n';
            WriteAll(fd, framed.data(), framed.size());
        });
        StartJournal(ring);
        if (capture != nullptr) {
            // Unbuffered, so that what the plugin wrote before a crash is not lost.
            dup2(fileno(capture), 1);
            dup2(fileno(capture), 2);
            std::setvbuf(stdout, nullptr, _IONBF, 0);
            std::setvbuf(stderr, nullptr, _IONBF, 0);
        }
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
    spawning.unlock();
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    LineReader reader{onLine, {}};
    double deadline = Now() + timeoutSeconds;
    bool timedOut = false, stopped = false, reaped = false;
    int status = 0;
    // False at the end of the channel.
    auto drain = [&]() -> bool {
        for (;;) {
            char buffer[4096];
            const ssize_t count = read(ends[0], buffer, sizeof buffer);
            if (count > 0) {
                if (reader.Take(buffer, static_cast<std::size_t>(count))) deadline = Now() + timeoutSeconds;
                continue;
            }
            return count < 0;
        }
    };
    for (;;) {
        if (stop != nullptr && stop->load()) {
            stopped = true;
            break;
        }
        const double left = deadline - Now();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        pollfd watch{ends[0], POLLIN, 0};
        const int wait = left < 0.1 ? static_cast<int>(left * 1000) + 1 : 100;
        if (poll(&watch, 1, wait) > 0 && !drain()) break;
        // Ended, with a copy of the pipe left in a child forked meanwhile: what it wrote
        // is read.
        if (waitpid(child, &status, WNOHANG) == child) {
            reaped = true;
            drain();
            break;
        }
    }
    close(ends[0]);
    if (timedOut || stopped) kill(child, SIGKILL);
    while (!reaped && waitpid(child, &status, 0) < 0) {
    }
    if (stopped) {
        outcome.end = IsolatedOutcome::End::Stopped;
    } else if (timedOut) {
        outcome.end = IsolatedOutcome::End::TimedOut;
    } else if (WIFSIGNALED(status)) {
        outcome.end = IsolatedOutcome::End::Crashed;
        outcome.signal = WTERMSIG(status);
        const char* name = strsignal(outcome.signal);
        outcome.signalName = name != nullptr ? name : "signal";
    } else {
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    }
    if (outcome.end == IsolatedOutcome::End::Crashed || outcome.end == IsolatedOutcome::End::TimedOut)
        outcome.recentCalls = ReadJournal(ring);
    ReadCapture(capture, outcome);
    release();
    return outcome;
}

#endif

}  // namespace Kesh::StandIn
