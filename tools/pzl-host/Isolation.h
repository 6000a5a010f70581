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
    // For a crash: the signal's number and name.
    int signal = 0;
    std::string signalName;
};

// Runs work in a child process (POSIX fork) so that a crash or a hang of the plugin
// ends only the child. Every line the work sends reaches onLine in the parent as it
// arrives; the work may take timeoutSeconds between two lines (when the child goes
// silent that long it is killed). The child's exit status is work's result. Where
// processes cannot be forked (Windows), work runs in this process with no timeout.
IsolatedOutcome RunIsolated(const std::function<int(const Channel&)>& work, double timeoutSeconds,
                            const std::function<void(std::string_view)>& onLine);

// Whether RunIsolated really isolates on this system.
bool IsolationAvailable();

}  // namespace Kesh::StandIn
