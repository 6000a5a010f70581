#pragma once

// Runs the built pzl-host (under the test emulator when there is one), or any shell
// command, for pzl-host's tests.

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace Kesh::StandIn::Testing {

struct ToolOutput {
    // The exit status; -1 when a signal ended the program.
    int status = -1;
    std::vector<std::string> lines;
    std::string Text() const {
        std::string text;
        for (const std::string& line : lines) text += line + "\n";
        return text;
    }
    // What follows prefix on the first line holding it; "" when none does.
    std::string After(const std::string& prefix) const {
        for (const std::string& line : lines) {
            const std::size_t at = line.find(prefix);
            if (at != std::string::npos) return line.substr(at + prefix.size());
        }
        return "";
    }
    bool Has(const std::string& text) const { return Text().find(text) != std::string::npos; }
};

// Runs a shell command and collects its output lines (standard error too when the
// command sends it there).
inline ToolOutput Shell(const std::string& command) {
    ToolOutput run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::string line;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        line += buffer;
        if (line.back() == '\n') {
            line.pop_back();
            run.lines.push_back(line);
            line.clear();
        }
    }
    if (!line.empty()) run.lines.push_back(line);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    // The shell reports a child that a signal ended as 128 and the signal's number.
    if (run.status > 128) run.status = -1;
    return run;
}

inline std::string HostCommand() {
    const std::string emulator = PZL_TEST_EMULATOR;
    return (emulator.empty() ? "" : emulator + " ") + PZL_HOST_TOOL;
}

// pzl-host with these arguments; standard error joins the output, or is dropped (for
// JSON) when withErrors is false.
inline ToolOutput Tool(const std::string& arguments, bool withErrors = true) {
    return Shell(HostCommand() + " " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null"));
}

inline std::string Broken(const std::string& name) { return std::string(PZL_BROKEN_PLUGINS) + "/pzl-be-broken-" + name + ".so"; }

}  // namespace Kesh::StandIn::Testing
