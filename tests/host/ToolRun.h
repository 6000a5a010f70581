#pragma once

// Runs the built pzl-host (under the test emulator when there is one), or any shell
// command, for pzl-host's tests, and reads what validate says of each check.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "formats/JsonReader.h"

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
    // Each line read as JSON (a line that is none fails the test).
    std::vector<BindingProperty> Json() const {
        std::vector<BindingProperty> values;
        for (const std::string& line : lines) {
            ConversionResult parsed = ParseJson(line);
            EXPECT_TRUE(parsed.Ok()) << line;
            if (parsed.Ok()) values.push_back(parsed.Value());
        }
        return values;
    }
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

// A path in a temporary folder of this test process alone, so that two builds' suites
// running at once do not overwrite each other's files; the folder goes when the process
// ends (not when a forked child does).
inline std::string TempPath(const std::string& name) {
    struct Folder {
        const pid_t owner = getpid();
        const std::string path = testing::TempDir() + "/pzl-host-tests-" + std::to_string(owner);
        Folder() { std::filesystem::create_directories(path); }
        ~Folder() {
            std::error_code ignored;
            if (getpid() == owner) std::filesystem::remove_all(path, ignored);
        }
    };
    static const Folder folder;
    return folder.path + "/" + name;
}

inline std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file of that text in the test's temporary folder; its path.
inline std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

struct CheckOutcome {
    std::string verdict;
    std::string reason;
};

struct ValidateRun {
    int status = -1;
    std::string output;
    // Every check's verdict and reason, by check name.
    std::map<std::string, CheckOutcome> checks;
};

inline ValidateRun Validate(const std::string& plugin, const std::string& options = "--seed 5") {
    // Generous: the 32-bit tests may run under an emulator on a busy machine, where a
    // slow init or reply would warn.
    const ToolOutput output = Tool("validate --json --timeout 300 --slow-init 60000 --slow-reply 60000 " + options + " " + plugin);
    ValidateRun run{output.status, output.Text(), {}};
    for (const std::string& line : output.lines) {
        ConversionResult parsed = ParseJson(line);
        if (!parsed.Ok() || !parsed.Value().HasMember("check")) continue;
        const BindingProperty& object = parsed.Value();
        run.checks[std::string(object.GetMember("check").GetStringView())] = {
            std::string(object.GetMember("result").GetStringView()), std::string(object.GetMember("reason").GetStringView())};
    }
    return run;
}

// One deliberately broken plugin and what validate must say of it: exactly one check
// with a verdict other than PASS or SKIP, with a reason holding the fragment.
struct BrokenCase {
    const char* plugin;
    const char* check;
    const char* verdict;
    const char* fragment;
};

inline void ExpectOnlyThatCheck(const BrokenCase& expected) {
    SCOPED_TRACE(expected.plugin);
    const ValidateRun run = Validate(Broken(expected.plugin));
    EXPECT_EQ(run.status, std::string(expected.verdict) == "FAIL" ? 1 : 0) << run.output;
    ASSERT_EQ(run.checks.count(expected.check), 1u) << run.output;
    const CheckOutcome& outcome = run.checks.at(expected.check);
    EXPECT_EQ(outcome.verdict, expected.verdict) << run.output;
    EXPECT_NE(outcome.reason.find(expected.fragment), std::string::npos) << outcome.reason;
    for (const auto& [check, other] : run.checks) {
        if (check == expected.check) continue;
        EXPECT_TRUE(other.verdict == "PASS" || other.verdict == "SKIP") << check << ": " << other.verdict << " " << other.reason;
    }
}

}  // namespace Kesh::StandIn::Testing
