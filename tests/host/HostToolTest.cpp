#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "formats/JsonReader.h"
#include "tests/host/ToolRun.h"
#include "tools/pzl-host/Scenario.h"

namespace Kesh::StandIn {
namespace {

using Testing::Broken;
using Testing::Tool;
using ToolRun = Testing::ToolOutput;

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

        const ToolRun run = Tool("run --json " + std::string(PZL_UX_PLUGIN) + " " + file);
        EXPECT_EQ(run.status, 0) << run.Text();
        std::multiset<std::pair<int, int>> reported;
        bool sawResult = false;
        for (const std::string& line : run.lines) {
            ConversionResult parsed = ParseJson(line);
            ASSERT_TRUE(parsed.Ok()) << line;
            const BindingProperty& object = parsed.Value();
            const std::string_view type = object.GetMember("type").GetStringView();
            EXPECT_NE(type, "failure") << line;
            if (type == "expect") {
                EXPECT_TRUE(object.GetMember("held").ToBool()) << line;
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

// A wrong expectation fails with exit 1 and shows expected against actual.
TEST(HostTool, FailedExpectationShowsExpectedAndActual) {
    const std::string file = testing::TempDir() + "/wrong.yaml";
    std::FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("steps:\n  - set: /qor-login/v1/session\n    value: {}\n  - expect:\n      requests: [POST /keshclient/affinity]\n", out);
    std::fclose(out);
    const ToolRun run = Tool("run " + std::string(PZL_UX_PLUGIN) + " " + file);
    EXPECT_EQ(run.status, 1);
    const std::string text = run.Text();
    EXPECT_NE(text.find("FAIL requests  (" + file + ":5:17)"), std::string::npos) << text;
    EXPECT_NE(text.find("expected POST /keshclient/affinity"), std::string::npos) << text;
    EXPECT_NE(text.find("actual   DELETE /keshclient/affinity"), std::string::npos) << text;
}

// A plugin that crashes or hangs in a step fails the run at that step; pzl-host lives.
TEST(HostTool, CrashAndHangFailTheStepTheyHappenIn) {
    const std::string file = testing::TempDir() + "/crash.yaml";
    std::FILE* out = std::fopen(file.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("timeout: 2\nsteps:\n  - set: /broken/v1/state\n    value: {count: 1}\n  - set: /broken/v1/state\n    value: {}\n", out);
    std::fclose(out);
    ToolRun run = Tool("run " + Broken("crash") + " " + file);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.Text().find("the plugin crashed (signal 11"), std::string::npos) << run.Text();
    EXPECT_NE(run.Text().find("during step 2 (set, " + file + ":5:5)"), std::string::npos) << run.Text();

    out = std::fopen(file.c_str(), "w");
    std::fputs("timeout: 1\nsteps:\n  - set: /broken/v1/state\n    value: hang\n", out);
    std::fclose(out);
    run = Tool("run --json " + Broken("crash") + " " + file);
    EXPECT_EQ(run.status, 1);
    ASSERT_FALSE(run.lines.empty());
    ConversionResult last = ParseJson(run.lines.back());
    ASSERT_TRUE(last.Ok()) << run.Text();
    EXPECT_EQ(last.Value().GetMember("what").GetStringView(), "timeout") << run.Text();
    EXPECT_EQ(last.Value().GetMember("step").ToDouble(), 1.0);
    EXPECT_EQ(last.Value().GetMember("line").ToDouble(), 3.0);
    EXPECT_EQ(last.Value().GetMember("column").ToDouble(), 5.0);
}

// Paths that do not exist, a library without the export and a scenario error: one
// line and exit 2.
TEST(HostTool, UnusableInputIsOneLineAndStatusTwo) {
    const std::string scenario = std::string(PZL_SCENARIOS) + "/whole-game.yaml";
    const std::string bad = testing::TempDir() + "/bad.yaml";
    std::FILE* out = std::fopen(bad.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("steps:\n  - wait: later\n", out);
    std::fclose(out);
    const std::string renamed = testing::TempDir() + "/pzl-be-renamed.so";
    std::filesystem::copy_file(PZL_UX_PLUGIN, renamed, std::filesystem::copy_options::overwrite_existing);
    const std::pair<std::string, std::string> cases[] = {
        {"run /no/such/plugin.so " + scenario, "cannot open plugin /no/such/plugin.so"},
        {"run " + std::string(PZL_UX_PLUGIN) + " /no/such.yaml", "cannot open scenario /no/such.yaml"},
        {"run " + renamed + " " + scenario, "has no export load_renamed"},
        {"run " + std::string(PZL_UX_PLUGIN) + " " + bad, bad + ":2:11: a wait in milliseconds must be a number"},
        {"validate /no/such/plugin.so", "cannot open plugin"},
        {"describe " + renamed, "has no export load_renamed"},
        {"validate --check no-such-check " + std::string(PZL_UX_PLUGIN), "unknown check no-such-check"},
    };
    for (const auto& [arguments, says] : cases) {
        SCOPED_TRACE(arguments);
        const ToolRun run = Tool(arguments);
        EXPECT_EQ(run.status, 2);
        ASSERT_EQ(run.lines.size(), 1u) << run.Text();
        EXPECT_NE(run.lines[0].find(says), std::string::npos) << run.lines[0];
    }
    EXPECT_EQ(Tool("frobnicate").status, 2);
}

std::string Verdict(const ToolRun& run, const std::string& check) {
    for (const std::string& line : run.lines) {
        ConversionResult parsed = ParseJson(line);
        if (parsed.Ok() && parsed.Value().GetMember("check").GetStringView() == check)
            return std::string(parsed.Value().GetMember("result").GetStringView());
    }
    return "missing";
}

// Each broken plugin fails the check that names its fault, and the real plugins pass.
TEST(HostTool, ValidateNamesTheBrokenCheck) {
    const std::pair<std::string, std::string> cases[] = {
        {"two-exports", "single-export"},
        {"leak", "balanced-allocations"},
        {"crash", "random-payloads"},
        {"crash", "malformed-payloads"},
        {"dangling-name", "api-table"},
        {"unknown-type", "api-table"},
        {"crash-call", "valid-calls"},
    };
    for (const auto& [plugin, check] : cases) {
        SCOPED_TRACE(plugin + " " + check);
        const ToolRun run = Tool("validate --timeout 300 --json --seed 7 --check " + check + " " + Broken(plugin.c_str()));
        EXPECT_EQ(run.status, 1) << run.Text();
        EXPECT_EQ(Verdict(run, check), "FAIL") << run.Text();
    }
    // A declaration that could never be called is refused at registration; the check
    // quotes the plugin's log line, and the plugin's other function is still exposed.
    const std::pair<std::string, std::string> refused[] = {
        {"path-argument",
         "registration: Function \"Greet\" is not exposed: its path argument \"nmae\" is not a placeholder of its "
         "URL template \"/broken/v1/greet/{name}\""},
        {"placeholder",
         "registration: Function \"Greet\" is not exposed: the placeholder {name} of its URL template "
         "\"/broken/v1/greet/{name}\" has no argument of that name"},
        {"unclosed-brace",
         "registration: Function \"Greet\" is not exposed: its URL template \"/broken/v1/greet/{name\" has a "
         "\"{\" that is never closed"},
    };
    for (const auto& [plugin, line] : refused) {
        SCOPED_TRACE(plugin);
        const ToolRun run = Tool("validate --timeout 300 --check api-table " + Broken(plugin.c_str()));
        EXPECT_EQ(run.status, 1) << run.Text();
        EXPECT_NE(run.Text().find("FAIL  api-table"), std::string::npos) << run.Text();
        EXPECT_NE(run.Text().find(line), std::string::npos) << run.Text();
        const ToolRun described = Tool("describe " + Broken(plugin.c_str()));
        EXPECT_NE(described.Text().find("Ping  GET /broken/v1/ping"), std::string::npos) << described.Text();
        EXPECT_EQ(described.Text().find("Greet"), std::string::npos) << described.Text();
    }
    // A name declared twice is legal (the later declaration wins), but two functions on
    // one route leave the host no way to tell them apart.
    const ToolRun duplicates = Tool("validate --timeout 300 --check api-table " + Broken("duplicates"));
    EXPECT_EQ(duplicates.status, 1) << duplicates.Text();
    EXPECT_NE(duplicates.Text().find("FAIL  api-table                  functions Ping and Pong share the route GET "
                                     "/broken/v1/ping"),
              std::string::npos)
        << duplicates.Text();

    // Only the fault fails: the leaky plugin is otherwise sound.
    const ToolRun leak = Tool("validate --timeout 300 --only-failed " + Broken("leak"));
    EXPECT_EQ(leak.lines.size(), 2u) << leak.Text();
    EXPECT_EQ(leak.lines.back(), "15 checks run, 12 passed, 1 failed, 2 skipped, 0 warned");
    // A function that crashes on a valid call fails valid-calls alone (binding answers
    // the malformed requests before it runs), and the failure names the request.
    const ToolRun crash = Tool("validate --timeout 300 --only-failed --seed 5 " + Broken("crash-call"));
    // The FAIL line, the last host calls before the crash, the summary.
    ASSERT_GT(crash.lines.size(), 2u) << crash.Text();
    EXPECT_TRUE(crash.lines[0].starts_with("FAIL  valid-calls")) << crash.Text();
    EXPECT_NE(crash.lines[0].find("the plugin crashed (Segmentation fault) in Explode: POST /broken/v1/explode arguments "
                                  "{\"count\":"),
              std::string::npos)
        << crash.Text();
    EXPECT_EQ(crash.lines.back(), "15 checks run, 14 passed, 1 failed, 0 skipped, 0 warned");

    std::vector<std::string> plugins = {PZL_UX_PLUGIN};
#ifdef PZL_SAMPLE_PLUGIN
    plugins.push_back(PZL_SAMPLE_PLUGIN);
#endif
    for (const std::string& plugin : plugins) {
        SCOPED_TRACE(plugin);
        // Generous: the 32-bit tests may run under an emulator on a busy machine.
        const ToolRun run = Tool("validate --timeout 300 " + plugin);
        EXPECT_EQ(run.status, 0) << run.Text();
        ASSERT_FALSE(run.lines.empty());
        EXPECT_NE(run.lines.back().find(" passed, 0 failed, "), std::string::npos) << run.Text();
    }
}

// describe --json lists each function with its route, parameters and result as the
// table describes them; validate names the parameter whose type is not in the table.
TEST(HostTool, DescribeListsFunctionsAndValidateChecksTheirTypes) {
#ifdef PZL_SAMPLE_PLUGIN
    const ToolRun run = Tool("describe --json " + std::string(PZL_SAMPLE_PLUGIN));
    ASSERT_EQ(run.status, 0) << run.Text();
    ConversionResult parsed = ParseJson(run.Text());
    ASSERT_TRUE(parsed.Ok()) << run.Text();
    const BindingProperty& functions = parsed.Value().GetMember("functions");
    ASSERT_EQ(functions.Size(), 8u) << run.Text();
    const BindingProperty* sum = nullptr;
    for (std::size_t i = 0; i < functions.Size(); ++i) {
        if (functions.GetElement(i).GetMember("name").GetStringView() == "Sum") sum = &functions.GetElement(i);
    }
    ASSERT_NE(sum, nullptr);
    EXPECT_EQ(sum->GetMember("method").GetStringView(), "POST");
    EXPECT_EQ(sum->GetMember("url").GetStringView(), "/sample/v1/sum");
    EXPECT_EQ(sum->GetMember("returns").GetMember("kind").GetStringView(), "double");
    const BindingProperty& parameters = sum->GetMember("parameters");
    ASSERT_EQ(parameters.Size(), 2u);
    EXPECT_EQ(parameters.GetElement(0).GetMember("name").GetStringView(), "values");
    EXPECT_EQ(parameters.GetElement(0).GetMember("type").GetMember("elementKind").GetStringView(), "int64");
    EXPECT_EQ(parameters.GetElement(0).GetMember("location").GetStringView(), "any");
    EXPECT_FALSE(parameters.GetElement(0).GetMember("optional").ToBool());
    EXPECT_EQ(parameters.GetElement(1).GetMember("location").GetStringView(), "query");
    EXPECT_TRUE(parameters.GetElement(1).GetMember("optional").ToBool());
    EXPECT_EQ(functions.GetElement(0).GetMember("returns").GetMember("type").GetStringView(), "SampleApiSampleItem");
#endif
    const ToolRun broken = Tool("validate --check api-table " + Broken("unknown-type"));
    EXPECT_EQ(broken.status, 1) << broken.Text();
    EXPECT_NE(broken.Text().find("FAIL  api-table"), std::string::npos) << broken.Text();
    EXPECT_NE(broken.Text().find("function Lookup's parameter filter names the unknown type BrokenLookupFilter"),
              std::string::npos)
        << broken.Text();
    // The text form shows the same and reads the broken table without crashing.
    const ToolRun text = Tool("describe " + Broken("unknown-type"));
    EXPECT_EQ(text.status, 0) << text.Text();
    EXPECT_NE(text.Text().find("Lookup  GET /broken/v1/lookup -> none"), std::string::npos) << text.Text();
    EXPECT_NE(text.Text().find("struct BrokenLookupFilter  (body, optional)"), std::string::npos) << text.Text();
}

#ifdef PZL_SAMPLE_PLUGIN
// Without --method and --url, call builds the request from the record: placeholders
// filled (and percent-encoded for {name}), query arguments in the query string; the
// function echoes what reached it. Exit codes: 0 success, 1 error reply, 2 unusable.
TEST(HostTool, CallBuildsTheRequestFromTheRecord) {
    const std::string sample = PZL_SAMPLE_PLUGIN;
    struct Case {
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
        {"GetItem", 2, "needs --arg id=VALUE"},
        {"Sum --arg values=[1] --output /no/such/dir/out.json", 2, "cannot write /no/such/dir/out.json"},
        {"Sum --arg values=[1,2] --method GET", 1, "Invalid function"},
    };
    for (const Case& one : cases) {
        SCOPED_TRACE(one.arguments);
        const ToolRun run = Tool("call " + sample + " " + one.arguments);
        EXPECT_EQ(run.status, one.status) << run.Text();
        EXPECT_NE(run.Text().find(one.says), std::string::npos) << run.Text();
    }
    // --json is one document; --body - reads standard input.
    const std::string body = testing::TempDir() + "/body.json";
    std::FILE* out = std::fopen(body.c_str(), "w");
    ASSERT_NE(out, nullptr);
    std::fputs("{\"x\": 2}", out);
    std::fclose(out);
    const ToolRun json = Tool("call --json --body - " + sample + " PutFile --arg 'path=\"p\"' < " + body);
    ASSERT_EQ(json.status, 0) << json.Text();
    ConversionResult parsed = ParseJson(json.Text());
    ASSERT_TRUE(parsed.Ok()) << json.Text();
    EXPECT_EQ(parsed.Value().GetMember("status").ToDouble(), 0.0);
    EXPECT_TRUE(parsed.Value().GetMember("error").IsEmpty());
    EXPECT_EQ(parsed.Value().GetMember("value").GetMember("content").GetMember("x").ToDouble(), 2.0);
    EXPECT_EQ(parsed.Value().GetMember("value").GetMember("path").GetStringView(), "p");
}
#endif

// list-checks names exactly the checks validate runs, each with a description.
TEST(HostTool, ListChecksNamesWhatValidateRuns) {
    const ToolRun list = Tool("list-checks --json");
    ASSERT_EQ(list.status, 0) << list.Text();
    std::set<std::string> listed, run;
    for (const std::string& line : list.lines) {
        ConversionResult parsed = ParseJson(line);
        ASSERT_TRUE(parsed.Ok()) << line;
        listed.insert(std::string(parsed.Value().GetMember("check").GetStringView()));
        EXPECT_FALSE(parsed.Value().GetMember("description").GetStringView().empty()) << line;
    }
    const ToolRun validate = Tool("validate --json --seed 1 " + Broken("crash-call"));
    for (const std::string& line : validate.lines) {
        ConversionResult parsed = ParseJson(line);
        ASSERT_TRUE(parsed.Ok()) << line;
        if (parsed.Value().HasMember("check")) run.insert(std::string(parsed.Value().GetMember("check").GetStringView()));
    }
    EXPECT_EQ(listed, run);
    EXPECT_EQ(listed.size(), list.lines.size());
}

// A random check prints its seed, and the same seed gives the same run.
TEST(HostTool, SeedReproducesRandomChecks) {
    const ToolRun first = Tool("validate --check random-payloads --seed 12345 " + std::string(PZL_UX_PLUGIN));
    const ToolRun again = Tool("validate --check random-payloads --seed 12345 " + std::string(PZL_UX_PLUGIN));
    ASSERT_EQ(first.lines.size(), 2u) << first.Text();
    EXPECT_NE(first.lines[0].find("(seed 12345)"), std::string::npos);
    EXPECT_EQ(first.lines, again.lines);
    EXPECT_EQ(first.lines[1], "1 check run, 1 passed, 0 failed, 0 skipped, 0 warned");
}

}  // namespace
}  // namespace Kesh::StandIn
