#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace Kesh::StandIn {

struct ValidateOptions {
    std::string plugin;
    bool onlyFailed = false;
    bool json = false;
    std::optional<std::uint64_t> seed;
    std::string check;
    // Seconds each check may take.
    double timeout = 20.0;
    // Rounds or seconds of the random checks (0: their own default).
    std::uint64_t iterations = 0;
    double duration = 0.0;
};

// Runs the conformance checks, each in its own child process; prints one line per
// check and the summary. 0 when nothing failed, 1 otherwise, 2 for a usage error.
int ValidatePlugin(const ValidateOptions& options, std::FILE* out);

// Prints each check's name and one-line description (with json, one object per line:
// check, description, random).
int ListChecks(bool json, std::FILE* out);

}  // namespace Kesh::StandIn
