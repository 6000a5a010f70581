#pragma once

// Runs the built pzl-host's validate on one plugin and reads its --json lines, for the
// tests of the conformance checks.

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "formats/JsonReader.h"
#include "tests/host/ToolRun.h"

namespace Kesh::StandIn::Testing {

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
    // Generous: the 32-bit tests may run under an emulator on a busy machine.
    const ToolOutput output = Tool("validate --json --timeout 300 " + options + " " + plugin);
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
