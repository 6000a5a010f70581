#pragma once

#include <cstdio>
#include <string>

namespace Kesh::StandIn {

struct RunOptions {
    std::string plugin;
    std::string scenario;
    bool json = false;
    bool color = false;
    // Without the time of each entry (and the log lines' raw text, which may carry the
    // plugin's own time), so that two timelines can be compared line by line.
    bool timestamps = true;
    // Where to write a JUnit report (one test case per expectation); none when empty.
    std::string junit;
};

// Replays the scenario against the plugin in a child process and prints the timeline.
// Returns 0 when every expectation held, 1 when one failed or the plugin crashed or
// hung, 2 for a usage, file or scenario error or a file that cannot be loaded as a
// plugin library (one line on standard error).
int RunScenario(const RunOptions& options, std::FILE* out);

}  // namespace Kesh::StandIn
