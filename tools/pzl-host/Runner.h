#pragma once

#include <cstdio>
#include <string>

namespace Kesh::StandIn {

struct RunOptions {
    std::string plugin;
    std::string scenario;
    bool json = false;
    bool color = false;
};

// Replays the scenario against the plugin in a child process and prints the timeline.
// Returns 0 when every expectation held, 1 when one failed or the plugin crashed or
// hung, 2 for a usage, file or scenario error (one line on standard error).
int RunScenario(const RunOptions& options, std::FILE* out);

}  // namespace Kesh::StandIn
