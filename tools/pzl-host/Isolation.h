#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Kesh::StandIn {

// Lines from the isolated work to the watching process.
class Channel {
public:
    explicit Channel(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}
    void Send(std::string_view line) const { sink_(line); }
    // Tells the watching process that the work is still making progress (a long run
    // that sends nothing else), without a line of its own.
    void Alive() const { sink_(kAliveLine); }

    static constexpr std::string_view kAliveLine = "\x01" "alive";

private:
    std::function<void(std::string_view)> sink_;
};

struct IsolatedOutcome {
    // Stopped: ended by the caller's stop flag.
    enum class End { Exited, Crashed, TimedOut, Stopped };
    End end = End::Exited;
    int exitCode = 0;
    // For a crash: the signal's number and name (on Windows the exception code and
    // "exception 0x... (its name)").
    int signal = 0;
    std::string signalName;
    // What the work (the plugin above all) wrote to its standard output and error, both
    // in one text in the order written; the last kOutputLimit bytes of it (outputCut
    // when there was more).
    std::string output;
    bool outputCut = false;
    // The last host calls (JournalCall lines) before a crash or a hang, oldest first.
    std::vector<std::string> recentCalls;
};

inline constexpr std::size_t kOutputLimit = 64 * 1024;
inline constexpr std::size_t kRecentCalls = 20;

// Runs work in a child process so that a crash or a hang of the plugin ends only the
// child. Every line the work sends reaches onLine in the parent as it arrives; the work
// may take timeoutSeconds between two lines (when the child goes silent that long it is
// killed). The child's exit status is work's result. When stop becomes true the child
// is killed and the outcome says Stopped. Several RunIsolated may run at once on
// different threads.
//
// On POSIX the child is a fork. Windows cannot fork: this program starts itself again
// with the same arguments and a hidden option naming workName; the child runs the same
// command up to the RunIsolated call of that name, runs only that work (any other work
// is passed over there) and ends. So workName must be unique within one command, and
// nothing before the call may depend on an earlier work's outcome (ResolveSeed hands
// the parent's seed over).
//
// In process (SetInProcess): work runs here, without a child and without a timeout, for
// a debugger or a sanitizer; a crash ends this program.
IsolatedOutcome RunIsolated(std::string_view workName, const std::function<int(const Channel&)>& work,
                            double timeoutSeconds, const std::function<void(std::string_view)>& onLine,
                            const std::atomic<bool>* stop = nullptr);

void SetInProcess(bool inProcess);
bool InProcess();

// Records one call in the running work's journal of recent calls (a ring of the last
// kRecentCalls), which the parent reads when the child crashes or hangs. Cheap; kept in
// memory the parent can read after the child is gone. Outside a child it does nothing.
void JournalCall(std::string_view line);
bool JournalActive();

// The seed of this command's random work: the given one, else one drawn once; the same
// for every later call, and in a Windows child the parent's.
std::uint64_t ResolveSeed(const std::optional<std::uint64_t>& given);

// "signal 11, Segmentation fault" or "exception 0xC0000005, access violation".
std::string CrashText(const IsolatedOutcome& outcome);

// What a failure report adds to its first line: the last host calls and the plugin's
// output, indented, one line each ("" when there are none).
std::string FailureDetails(const IsolatedOutcome& outcome, const std::string& indent);

// Whether RunIsolated really isolates on this system.
bool IsolationAvailable();

// The name of the hidden option that makes this process such a child, and what to do
// with its value. False for a value that is not one.
inline constexpr const char* kIsolatedChildOption = "--isolated-child";
bool EnterIsolatedChild(const std::string& value);

}  // namespace Kesh::StandIn
