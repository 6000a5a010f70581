// pzl-host's commands end to end: scenario replays, plugin files it cannot use, call
// and describe.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/host/ToolRun.h"
#include "tools/pzl-host/Scenario.h"

namespace Kesh::StandIn {
namespace {

using Testing::Broken;
using Testing::Read;
using Testing::Tool;
using Testing::WriteTemp;
using ToolRun = Testing::ToolOutput;

const std::string kUx = PZL_UX_PLUGIN;

// Each bundled scenario replayed with --json: every expectation the scenario file
// holds appears once, at its own line and column, and held. Nothing is compared
// against stored output.
TEST(HostTool, BundledScenariosHoldEveryExpectationTheyState) {
    std::size_t scenarios = 0;
    for (const auto& entry : std::filesystem::directory_iterator(PZL_SCENARIOS)) {
        if (entry.path().extension() != ".yaml") continue;
        ++scenarios;
        const std::string file = entry.path().string();
        SCOPED_TRACE(file);
        Scenario scenario;
        std::string error;
        ASSERT_TRUE(ReadScenario(file, scenario, error)) << error;
        std::multiset<std::pair<int, int>> stated;
        for (const ScenarioStep& step : scenario.steps) {
            if (step.requests) stated.emplace(step.requestsMark.line, step.requestsMark.column);
            if (step.logs) stated.emplace(step.logsMark.line, step.logsMark.column);
            for (const ExpectedResource& resource : step.resources) stated.emplace(resource.mark.line, resource.mark.column);
        }
        ASSERT_FALSE(stated.empty());

        const ToolRun run = Tool("run --json " + kUx + " " + file);
        EXPECT_EQ(run.status, 0) << run.Text();
        std::multiset<std::pair<int, int>> reported;
        bool sawResult = false;
        for (const BindingProperty& object : run.Json()) {
            const std::string_view type = object.GetMember("type").GetStringView();
            EXPECT_NE(type, "failure") << run.Text();
            if (type == "expect") {
                EXPECT_TRUE(object.GetMember("held").ToBool()) << run.Text();
                reported.emplace(static_cast<int>(object.GetMember("line").ToDouble()),
                                 static_cast<int>(object.GetMember("column").ToDouble()));
            }
            if (type == "summary") {
                sawResult = true;
                EXPECT_EQ(object.GetMember("failed").ToDouble(), 0.0);
                EXPECT_EQ(object.GetMember("expectations").ToDouble(), static_cast<double>(stated.size()));
            }
        }
        EXPECT_TRUE(sawResult);
        EXPECT_EQ(reported, stated);
    }
    EXPECT_GE(scenarios, 4u);
}

// A plugin that crashes or hangs in a step fails the run at that step, with the last
// host calls before it, the last one the event the plugin never came back from, read
// after the child died or was killed; pzl-host lives. A wait longer than the step
// timeout is the scenario's own, not a hang.
TEST(HostTool, CrashAndHangFailTheStepTheyHappenIn) {
    struct Case {
        std::string plugin;
        const char* scenario;
        int status;
        std::vector<std::string> says;  // "FILE" stands for the scenario's path
        const char* lastCall;           // "" when the run has no such list
    };
    const Case cases[] = {
        {Broken("crash"), "timeout: 5\nsteps:\n  - set: /broken/v1/state\n    value: {count: 1}\n  - set: /broken/v1/state\n    value: {}\n",
         1, {"the plugin crashed (signal 11", "during step 2 (set, FILE:5:5)"},
         "event OnJsonApiEvent_broken_v1_state Update /broken/v1/state data {}"},
        {Broken("crash"), "timeout: 1\nsteps:\n  - wait: 100\n  - set: /broken/v1/state\n    value: hang\n", 1,
         {"the plugin hung: no progress for 1 s during step 2"},
         "event OnJsonApiEvent_broken_v1_state Create /broken/v1/state data \"hang\""},
        {kUx, "timeout: 1\nsteps:\n  - wait: 2500\n  - expect:\n      requests: []\n", 0, {"passed: 1 expectations, 0 failed"}, ""},
        // A host fault the plugin causes fails the run, in its own line.
        {Broken("crash-some"), "steps:\n  - set: /broken/v1/state\n    value: true\n", 1,
         {"FAIL host: a request was made without its reply or request record", "FAILED: 0 expectations, 1 failed"}, ""},
    };
    int number = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        const std::string file = WriteTemp("journal-" + std::to_string(++number) + ".yaml", c.scenario);
        const ToolRun run = Tool("run " + c.plugin + " " + file);
        EXPECT_EQ(run.status, c.status) << run.Text();
        for (std::string says : c.says) {
            if (says.find("FILE") != std::string::npos) says.replace(says.find("FILE"), 4, file);
            EXPECT_TRUE(run.Has(says)) << says << "\n" << run.Text();
        }
        std::vector<std::string> calls;
        bool listing = false;
        for (const std::string& line : run.lines) {
            if (line == "     last host calls, oldest first:") listing = true;
            else if (listing && line.starts_with("       ")) calls.push_back(line.substr(7));
            else listing = false;
        }
        if (*c.lastCall == '\0') {
            EXPECT_TRUE(calls.empty()) << run.Text();
            EXPECT_FALSE(run.Has("hung")) << run.Text();
            continue;
        }
        ASSERT_FALSE(calls.empty()) << run.Text();
        EXPECT_LE(calls.size(), 20u);
        EXPECT_EQ(calls.back(), c.lastCall) << run.Text();
        EXPECT_EQ(calls.front(), "subscribe OnServiceProxyUuidEvent") << run.Text();
    }
    // --json names the step of the hang and where the scenario states it.
    const std::string hang = WriteTemp("hang.yaml", "timeout: 1\nsteps:\n  - set: /broken/v1/state\n    value: hang\n");
    const ToolRun run = Tool("run --json " + Broken("crash") + " " + hang, false);
    EXPECT_EQ(run.status, 1);
    const std::vector<BindingProperty> lines = run.Json();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().GetMember("what").GetStringView(), "timeout") << run.Text();
    EXPECT_EQ(lines.back().GetMember("step").ToDouble(), 1.0);
    EXPECT_EQ(lines.back().GetMember("line").ToDouble(), 3.0);
    EXPECT_EQ(lines.back().GetMember("column").ToDouble(), 5.0);
}

// A plugin file that cannot be used is exit 2 with one line on every subcommand; so
// is a scenario that cannot be read, or a check selection that selects nothing.
TEST(HostTool, UnusableInputIsOneLineAndStatusTwo) {
    const std::string whole = Read(kUx);
    const std::string cut = WriteTemp("pzl-be-qor-user-experience.so", whole.substr(0, 8192));
    const std::string text = WriteTemp("pzl-be-text.so", "not a library");
    const std::string renamed = WriteTemp("pzl-be-renamed.so", whole);
    const std::string missing = Testing::TempPath("missing.so");
    const struct {
        std::string file;
        std::string says;
    } files[] = {
        {missing, "cannot open plugin " + missing + ": no such file"},
        // The loader's own reason follows, and it names the file again.
        {text, "cannot load plugin " + text + ": " + text},
        {cut, "a truncated ELF file (its segments end at byte "},
        {renamed, "has no export load_renamed"},
    };
    const std::string scenario = std::string(PZL_SCENARIOS) + "/whole-game.yaml";
    const std::string commands[] = {"run FILE " + scenario, "validate FILE", "validate --json --check init-unload FILE",
                                    "describe FILE", "describe --openapi FILE", "call FILE Sum", "serve FILE"};
    std::vector<std::pair<std::string, std::string>> cases;
    for (const auto& file : files) {
        for (std::string command : commands) cases.emplace_back(command.replace(command.find("FILE"), 4, file.file), file.says);
    }
    const std::string bad = WriteTemp("bad.yaml", "steps:\n  - wait: later\n");
    cases.emplace_back("run " + kUx + " /no/such.yaml", "cannot open scenario /no/such.yaml");
    cases.emplace_back("run " + kUx + " " + bad, bad + ":2:11: a wait in milliseconds must be a number");
    // A name or glob that selects no check names the checks there are.
    const std::pair<std::string, std::string> usage[] = {
        {"--check 'nothing-*'", "--check nothing-* matches no check (checks: single-export, registration,"},
        {"--check init-unload --check no-such", "unknown check no-such (checks: single-export,"},
        {"--skip 'x?=why'", "--skip x? matches no check"},
        {"--skip init-unload", "--skip takes NAME=REASON"},
        {"--skip init-unload=", "--skip takes NAME=REASON"},
    };
    for (const auto& [options, says] : usage) cases.emplace_back("validate " + options + " " + kUx, says);
    for (const auto& [command, says] : cases) {
        SCOPED_TRACE(command);
        const ToolRun run = Tool(command);
        EXPECT_EQ(run.status, 2) << run.Text();
        ASSERT_EQ(run.lines.size(), 1u) << run.Text();
        // serve without its HTTP library says so, whatever the file.
        if (run.lines[0].find("serve is not built") == std::string::npos) {
            EXPECT_NE(run.lines[0].find(says), std::string::npos) << run.lines[0];
        }
    }
    EXPECT_EQ(Tool("frobnicate").status, 2);
}

#ifdef PZL_SAMPLE_PLUGIN
// Without --method and --url, call builds the request from the record: placeholders
// filled (and percent-encoded for {name}), query arguments in the query string; the
// function echoes what reached it. Exit codes: 0 success, 1 error reply, 2 unusable,
// also for an output file that fails only when its bytes are flushed.
TEST(HostTool, CallBuildsTheRequestFromTheRecord) {
    const std::string sample = PZL_SAMPLE_PLUGIN;
    const std::string written = Testing::TempPath("host-out.json");
    const struct {
        std::string arguments;
        int status;
        std::string says;
    } cases[] = {
        {"Sum --arg values=[1,2]", 0, "3.0"},
        {"GetItem --arg id=5 --arg verbose=true", 0, "\"verbose\": true"},
        {"GetItem --arg id=5", 0, "\"name\": \"item-5\""},
        {"Color --arg 'name=\"red\"'", 0, "\"Red\""},
        // Unencoded, the slash would be a segment too many and match no template.
        {"Color --arg 'name=\"a/b c\"'", 0, "value:"},
        {"PutFile --arg 'path=\"d/e f\"' --arg 'content={}'", 0, "\"path\": \"d/e f\""},
        {"Echo --method BREW --arg value=7", 0, "7"},
        {"Whoami --header token=abc", 0, "\"token\": \"abc\""},
        {"Teapot", 1, "error:         yes \"The sample is a teapot.\""},
        {"Bytes --arg size=40", 0, "streamed body: 40 bytes\nfirst bytes:   00 01 02 03"},
        {"Sum --arg values=[1,2] --method GET", 1, "status:        404"},
        // What call cannot send is exit 2 with the reason.
        {"GetItem", 2, "needs --arg id=VALUE"},
        {"GetItem --arg id", 2, "an argument is NAME=JSON: id"},
        {"GetItem --arg id=x", 2, "argument id is not JSON: "},
        {"Whoami --header token", 2, "a header is NAME=VALUE: token"},
        {"PutFile --arg 'path=\"p\"' --body /no/such/body", 2, "cannot open body /no/such/body"},
        {"Nothing", 2, "the plugin exposes no function Nothing"},
        {"Bytes --arg size=100000 --output " + written, 0, ""},
        {"Bytes --arg size=100000 --output /no/such/dir/out.json", 2, "cannot write /no/such/dir/out.json"},
        {"Bytes --arg size=100000 --output /dev/full", 2, "cannot write /dev/full"},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(one.arguments);
        const ToolRun run = Tool("call " + sample + " " + one.arguments);
        EXPECT_EQ(run.status, one.status) << run.Text();
        EXPECT_TRUE(run.Has(one.says)) << run.Text();
    }
    EXPECT_EQ(std::filesystem::file_size(written), 100000u);
    // --json is one document; --body - reads standard input.
    const std::string body = WriteTemp("body.json", "{\"x\": 2}");
    const ToolRun json = Tool("call --json --body - " + sample + " PutFile --arg 'path=\"p\"' < " + body);
    ASSERT_EQ(json.status, 0) << json.Text();
    ConversionResult parsed = ParseJson(json.Text());
    ASSERT_TRUE(parsed.Ok()) << json.Text();
    EXPECT_EQ(parsed.Value().GetMember("status").ToDouble(), 0.0);
    EXPECT_TRUE(parsed.Value().GetMember("error").IsEmpty());
    EXPECT_EQ(parsed.Value().GetMember("value").GetMember("content").GetMember("x").ToDouble(), 2.0);
    EXPECT_EQ(parsed.Value().GetMember("value").GetMember("path").GetStringView(), "p");
}

// A call step takes every method call takes, and builds the request from the record
// when the step gives no method and URL, as call does.
TEST(HostTool, CallStepsTakeWhatCallTakes) {
    const std::string sample = PZL_SAMPLE_PLUGIN;
    const std::string scenario = WriteTemp("calls-all.yaml",
                                           "steps:\n"
                                           "  - call: Echo\n    method: BREW\n    args: {value: 7}\n    value: 7\n"
                                           "  - call: Echo\n    method: get\n    args: {value: 8}\n    value: 8\n"
                                           "  - call: Sum\n    args: {values: [1, 2]}\n    value: 3.0\n"
                                           "  - call: GetItem\n    args: {id: 4}\n    status: 0\n"
                                           "  - call: Sum\n    method: GET\n    args: {values: [1]}\n    error: Invalid function*\n");
    const ToolRun run = Tool("run " + sample + " " + scenario);
    EXPECT_EQ(run.status, 0) << run.Text();
    EXPECT_TRUE(run.Has("passed: 5 expectations, 0 failed")) << run.Text();
    // A placeholder without its argument is the step's failure, not a crash.
    const ToolRun failed = Tool("run " + sample + " " + WriteTemp("calls-missing.yaml", "steps:\n  - call: GetItem\n"));
    EXPECT_EQ(failed.status, 1) << failed.Text();
    EXPECT_TRUE(failed.Has("FAIL call: ")) << failed.Text();
    const ToolRun empty = Tool("run " + sample + " " + WriteTemp("calls-empty.yaml", "steps:\n  - call: Echo\n    method: ''\n"));
    EXPECT_EQ(empty.status, 2) << empty.Text();
    EXPECT_TRUE(empty.Has("a method must not be empty")) << empty.Text();
}

// describe names the plugin by the file's own prefix, or by its short name alone, and
// lists each function with its route, parameters and result as the table describes them.
TEST(HostTool, DescribeListsFunctionsAndTakesThePrefixFromTheFile) {
    const struct {
        const char* file;
        const char* fullName;
        const char* firstLine;
    } cases[] = {
        {"pzl-be-sample-api.so", "pzl-be-sample-api", "plugin    sample-api (pzl-be-sample-api)"},
        {"pzl-fe-sample-api.so", "pzl-fe-sample-api", "plugin    sample-api (pzl-fe-sample-api)"},
        {"sample-api.so", "sample-api", "plugin    sample-api"},
    };
    const std::string folder = Testing::TempPath("named");
    std::filesystem::create_directories(folder);
    for (const auto& one : cases) {
        SCOPED_TRACE(one.file);
        const std::string copy = folder + "/" + one.file;
        std::filesystem::copy_file(PZL_SAMPLE_PLUGIN, copy, std::filesystem::copy_options::overwrite_existing);
        const ToolRun json = Tool("describe --json " + copy, false);
        ASSERT_EQ(json.status, 0) << json.Text();
        ConversionResult parsed = ParseJson(json.Text());
        ASSERT_TRUE(parsed.Ok()) << json.Text();
        EXPECT_EQ(parsed.Value().GetMember("fullName").GetStringView(), one.fullName);
        EXPECT_EQ(parsed.Value().GetMember("shortName").GetStringView(), "sample-api");
        const ToolRun text = Tool("describe " + copy, false);
        ASSERT_FALSE(text.lines.empty());
        EXPECT_EQ(text.lines[0], one.firstLine);
        EXPECT_TRUE(Tool("describe --openapi " + copy, false).Has(std::string("\"title\": \"") + one.fullName + "\""));
        if (one.fullName != std::string("sample-api")) continue;

        const BindingProperty& functions = parsed.Value().GetMember("functions");
        ASSERT_EQ(functions.Size(), 8u) << json.Text();
        EXPECT_EQ(functions.GetElement(0).GetMember("returns").GetMember("type").GetStringView(), "SampleApiSampleItem");
        const BindingProperty& sum = functions.GetElement(3);
        ASSERT_EQ(sum.GetMember("name").GetStringView(), "Sum");
        EXPECT_EQ(sum.GetMember("method").GetStringView(), "POST");
        EXPECT_EQ(sum.GetMember("url").GetStringView(), "/sample/v1/sum");
        EXPECT_EQ(sum.GetMember("returns").GetMember("kind").GetStringView(), "double");
        const BindingProperty& parameters = sum.GetMember("parameters");
        ASSERT_EQ(parameters.Size(), 2u);
        EXPECT_EQ(parameters.GetElement(0).GetMember("name").GetStringView(), "values");
        EXPECT_EQ(parameters.GetElement(0).GetMember("type").GetMember("elementKind").GetStringView(), "int64");
        EXPECT_EQ(parameters.GetElement(0).GetMember("location").GetStringView(), "any");
        EXPECT_FALSE(parameters.GetElement(0).GetMember("optional").ToBool());
        EXPECT_EQ(parameters.GetElement(1).GetMember("location").GetStringView(), "query");
        EXPECT_TRUE(parameters.GetElement(1).GetMember("optional").ToBool());
    }
}
#endif

}  // namespace
}  // namespace Kesh::StandIn
