#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace Kesh::StandIn {

// Lines from the isolated work to the watching process.
class Channel {
public:
    explicit Channel(std::function<void(std::string_view)> sink) : sink_(std::move(sink)) {}
    void Send(std::string_view line) const { sink_(line); }

private:
    std::function<void(std::string_view)> sink_;
};

struct IsolatedOutcome {
    enum class End { Exited, Crashed, TimedOut };
    End end = End::Exited;
    int exitCode = 0;
    // For a crash: the signal's number and name (on Windows the exception code and
    // "exception 0x... (its name)").
    int signal = 0;
    std::string signalName;
};

// Runs work in a child process so that a crash or a hang of the plugin ends only the
// child. Every line the work sends reaches onLine in the parent as it arrives; the work
// may take timeoutSeconds between two lines (when the child goes silent that long it is
// killed). The child's exit status is work's result.
//
// On POSIX the child is a fork. Windows cannot fork: this program starts itself again
// with the same arguments and a hidden option naming workName; the child runs the same
// command up to the RunIsolated call of that name, runs only that work (any other work
// is passed over there) and ends. So workName must be unique within one command, and
// nothing before the call may depend on an earlier work's outcome.
IsolatedOutcome RunIsolated(std::string_view workName, const std::function<int(const Channel&)>& work,
                            double timeoutSeconds, const std::function<void(std::string_view)>& onLine);

// "signal 11, Segmentation fault" or "exception 0xC0000005, access violation".
std::string CrashText(const IsolatedOutcome& outcome);

// Whether RunIsolated really isolates on this system.
bool IsolationAvailable();

// The name of the hidden option that makes this process such a child, and what to do
// with its value ("<channel handle>:<work name>"). False for a value that is not one.
inline constexpr const char* kIsolatedChildOption = "--isolated-child";
bool EnterIsolatedChild(const std::string& value);

}  // namespace Kesh::StandIn
