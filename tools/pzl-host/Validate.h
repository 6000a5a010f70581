#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace Kesh::StandIn {

struct ValidateOptions {
    std::string plugin;
    bool onlyFailed = false;
    bool json = false;
    std::optional<std::uint64_t> seed;
    // Names or globs of the checks to run; every check when empty.
    std::vector<std::string> checks;
    // "NAME=REASON" (NAME may be a glob): checks reported as skipped with the reason
    // instead of run.
    std::vector<std::string> skips;
    // A warning fails the run.
    bool strict = false;
    // Where to write a JUnit report; none when empty.
    std::string junit;
    // Seconds each check may take.
    double timeout = 20.0;
    // A plugin slower than these (milliseconds) passes with a warning: init, and one
    // reply of an exposed function.
    double slowInitMs = 100.0;
    double slowReplyMs = 1000.0;
    // Rounds or seconds of the random checks (0: their own default).
    std::uint64_t iterations = 0;
    double duration = 0.0;
};

// Runs the conformance checks, each in its own child process; prints one line per
// check and the summary. 0 when nothing failed (nor warned, when strict), 1 otherwise,
// 2 for a usage error or a file that cannot be loaded as a plugin library.
int ValidatePlugin(const ValidateOptions& options, std::FILE* out);

// Prints each check's name and one-line description (with json, one object per line:
// type "check", check, description, random).
int ListChecks(bool json, std::FILE* out);

}  // namespace Kesh::StandIn
