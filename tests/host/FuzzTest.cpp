#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "formats/JsonReader.h"
#include "tests/host/ToolRun.h"
#include "tools/pzl-host/Fuzz.h"
#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/ValueJson.h"

namespace Kesh::StandIn {
namespace {

using Testing::Broken;
using Testing::Tool;
using Testing::ToolOutput;

BindingProperty CheckLine(const ToolOutput& run) {
    for (const std::string& line : run.lines) {
        ConversionResult parsed = ParseJson(line);
        if (parsed.Ok() && parsed.Value().HasMember("check")) return parsed.Value();
    }
    return BindingProperty();
}

// Each random check reports its seed and a digest of the inputs it generated: the seed
// it printed (none given) makes the same inputs again, another seed other inputs, and
// --iterations reaches the check.
TEST(Fuzz, PrintedSeedOfEveryRandomCheckReproducesItsInputs) {
    struct Case {
        const char* check;
        std::string plugin;
    };
    std::vector<Case> cases = {{"random-payloads", PZL_UX_PLUGIN}, {"balanced-allocations", PZL_UX_PLUGIN}};
#ifdef PZL_SAMPLE_PLUGIN
    cases.push_back({"malformed-requests", PZL_SAMPLE_PLUGIN});
    cases.push_back({"valid-calls", PZL_SAMPLE_PLUGIN});
#endif
    for (const Case& c : cases) {
        SCOPED_TRACE(c.check);
        const std::string command = std::string("validate --json --iterations 2 --check ") + c.check + " ";
        const BindingProperty first = CheckLine(Tool(command + c.plugin));
        ASSERT_EQ(first.GetMember("result").GetStringView(), "PASS") << ToJson(first);
        const std::uint64_t seed = first.GetMember("seed").GetUnsigned();
        const std::string digest(first.GetMember("digest").GetStringView());
        ASSERT_EQ(digest.size(), 16u);

        const BindingProperty again = CheckLine(Tool(command + "--seed " + std::to_string(seed) + " " + c.plugin));
        EXPECT_EQ(again.GetMember("seed").GetUnsigned(), seed);
        EXPECT_EQ(again.GetMember("digest").GetStringView(), digest);
        const BindingProperty other = CheckLine(Tool(command + "--seed " + std::to_string(seed + 1) + " " + c.plugin));
        EXPECT_NE(other.GetMember("digest").GetStringView(), digest);
        const BindingProperty longer = CheckLine(
            Tool(std::string("validate --json --iterations 3 --check ") + c.check + " --seed " + std::to_string(seed) + " " + c.plugin));
        EXPECT_NE(longer.GetMember("digest").GetStringView(), digest);
    }
    // The number of rounds is the check's: so many payloads to each event.
    const BindingProperty payloads = CheckLine(Tool("validate --json --iterations 5 --check random-payloads " + std::string(PZL_UX_PLUGIN)));
    const std::string reason(payloads.GetMember("reason").GetStringView());
    unsigned sent = 0, events = 0;
    ASSERT_EQ(std::sscanf(reason.c_str(), "%u payloads to %u events", &sent, &events), 2) << reason;
    EXPECT_GT(events, 0u);
    EXPECT_EQ(sent, 5 * events);
}

// A plugin that fails on a few inputs only (seed 1 finds a crash, seed 5 a host fault
// the plugin lives through): fuzz reports the input's seed with the input, the host
// calls that led to a crash and the plugin's own output (captured in the child, not lost
// and not mixed into the report), and --reproduce replays exactly that input in its own
// process, which fails the same way.
TEST(Fuzz, FailurePrintsSeedAndInputThatReproduceReplays) {
    const std::string plugin = Broken("crash-some");
    const struct {
        const char* seed;
        std::string first;   // how the first line begins
        int replayStatus;
        std::string replay;  // a line of the replay
        bool journal;        // the host calls before it are listed
    } cases[] = {
        {"1", "FAIL  fuzz: the plugin crashed", -1, "", true},
        {"5", "FAIL  fuzz: host fault: a request was made without its reply or request record in iteration ", 1,
         "FAIL  host fault: a request was made without its reply or request record\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seed);
        const std::string command = std::string("fuzz --seed ") + c.seed + " --iterations 500 --timeout 120 " + plugin;
        const ToolOutput fuzz = Tool(command);
        EXPECT_EQ(fuzz.status, 1) << fuzz.Text();
        ASSERT_TRUE(fuzz.lines.size() > 3 && fuzz.lines[0].starts_with(c.first)) << fuzz.Text();
        const std::string seed = fuzz.After("--reproduce ");
        const std::string input = fuzz.After("      input: ");
        ASSERT_FALSE(seed.empty()) << fuzz.Text();
        ConversionResult parsed = ParseJson(input);
        ASSERT_TRUE(parsed.Ok()) << input;
        EXPECT_EQ(std::to_string(parsed.Value().GetMember("seed").GetUnsigned()), seed);
        // The last host call before the failure is in the journal, after the input's marker.
        EXPECT_EQ(fuzz.Has("last host calls, oldest first:"), c.journal) << fuzz.Text();
        EXPECT_EQ(fuzz.Has("(input " + seed + ")"), c.journal) << fuzz.Text();
        // Calls are among the inputs, made as the host makes them.
        EXPECT_EQ(fuzz.Has("call POST /broken/v1/divide arguments "), c.journal) << fuzz.Text();
        EXPECT_TRUE(fuzz.Has("  | broken-crash-some: init on standard output")) << fuzz.Text();
        EXPECT_TRUE(fuzz.Has("  | broken-crash-some: init on standard error")) << fuzz.Text();

        const ToolOutput replay = Tool("fuzz --reproduce " + seed + " " + plugin);
        EXPECT_EQ(replay.status, c.replayStatus) << replay.Text();
        EXPECT_EQ(replay.After("input: "), input);
        EXPECT_TRUE(replay.Has(c.replay)) << replay.Text();
        // The same run finds the same input again, whatever else runs beside it.
        EXPECT_EQ(Tool(command).After("--reproduce "), seed);
    }
}

// A sound plugin passes; the iterations are shared among the processes, none twice.
TEST(Fuzz, SoundPluginsPassOnSeveralProcesses) {
    std::vector<std::string> plugins = {PZL_UX_PLUGIN};
#ifdef PZL_SAMPLE_PLUGIN
    plugins.push_back(PZL_SAMPLE_PLUGIN);
#endif
    for (const std::string& plugin : plugins) {
        SCOPED_TRACE(plugin);
        const ToolOutput run = Tool("fuzz --seed 3 --iterations 60 --jobs 3 --timeout 120 " + plugin);
        EXPECT_EQ(run.status, 0) << run.Text();
        ASSERT_EQ(run.lines.size(), 1u) << run.Text();
        EXPECT_TRUE(run.lines[0].starts_with("PASS  fuzz: 60 iterations on 3 processes in ")) << run.Text();
    }
}

// The plugin's own output: shown with a failed check, never with a passing one, and
// never inside --json.
TEST(Fuzz, PluginOutputIsCapturedPerCheckAndShownOnFailureOnly) {
    const std::string plugin = Broken("crash-some");
    const ToolOutput failed = Tool("validate --seed 5 --iterations 20 --check valid-calls " + plugin);
    EXPECT_EQ(failed.status, 1) << failed.Text();
    EXPECT_TRUE(failed.Has("  | broken-crash-some: init on standard output\n")) << failed.Text();
    EXPECT_TRUE(failed.Has("  | broken-crash-some: init on standard error\n")) << failed.Text();

    const ToolOutput passed = Tool("validate --check repeated-cycles " + plugin);
    EXPECT_EQ(passed.status, 0) << passed.Text();
    EXPECT_FALSE(passed.Has("broken-crash-some: init")) << passed.Text();

    const ToolOutput json = Tool("validate --json --seed 5 --iterations 20 " + plugin, false);
    EXPECT_EQ(json.status, 1);
    for (const std::string& line : json.lines) EXPECT_TRUE(ParseJson(line).Ok()) << line;
}

// A crash in the child fails the command and names what crashed; --in-process runs
// the plugin in pzl-host itself, where the same crash ends the tool (status -1).
TEST(Fuzz, InProcessRunsWithoutChild) {
    const std::string plugin = Broken("crash-some");
    struct Case {
        std::string arguments;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"validate --check valid-calls --iterations 20 --seed 5 " + plugin, 1, "the plugin crashed (Segmentation fault)"},
        {"validate --in-process --check valid-calls --iterations 20 --seed 5 " + plugin, -1, ""},
        {"validate --in-process --check repeated-cycles " + plugin, 0, ""},
        {"call " + plugin + " Divide --arg count=10", 1, "pzl-host: the plugin crashed (Segmentation fault) during the call"},
        {"call --in-process " + plugin + " Divide --arg count=10", -1, ""},
        {"call --in-process " + plugin + " Divide --arg count=11", 0, "value:\n11"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolOutput run = Tool(c.arguments);
        EXPECT_EQ(run.status, c.status) << run.Text();
        EXPECT_TRUE(run.Has(c.says)) << run.Text();
    }
}

// Each isolated run gives back every file it opened in this process: a validate or fuzz
// run starts one child after another, and a leak per child would end in "too many open
// files".
TEST(Fuzz, IsolatedRunsLeaveNoFileOpen) {
    auto openFiles = [] {
        std::size_t count = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
        return count;
    };
    const std::size_t before = openFiles();
    for (int i = 0; i < 3; ++i) {
        const IsolatedOutcome outcome = RunIsolated(
            "files", [](const Channel& channel) { return channel.Send("x"), 0; }, 30, [](std::string_view) {});
        EXPECT_EQ(outcome.end, IsolatedOutcome::End::Exited);
    }
    EXPECT_EQ(openFiles(), before);
}

// The input of a seed depends on the seed and the target alone, drawn from the engine's
// raw output: the same JSON on every platform (this digest is checked on 64-bit and
// 32-bit builds alike).
TEST(Fuzz, InputOfASeedIsTheSameEverywhere) {
    FuzzTarget target;
    target.events = {{"OnJsonApiEvent_a_v1_b", "/a/v1/b"}, {"OnServiceProxyUuidEvent", "/OnServiceProxyUuidEvent"}};
    target.words = {"alpha", "beta", "phase", "uri"};
    const std::string json = FuzzInputJson(MakeFuzzInput(target, 42));
    EXPECT_EQ(json, FuzzInputJson(MakeFuzzInput(target, 42)));
    EXPECT_NE(json, FuzzInputJson(MakeFuzzInput(target, 43)));
    EXPECT_EQ(FuzzInputDigest(json), 17631759410082212684ull) << json;
    // The same from a real plugin's subscriptions and types; the Windows build's tests
    // expect this digest too.
    const ToolOutput replay = Tool("fuzz --reproduce 7 " + std::string(PZL_UX_PLUGIN));
    EXPECT_EQ(replay.status, 0) << replay.Text();
    EXPECT_EQ(replay.After("input digest "), "2229c30ce1346363") << replay.Text();

    // Iteration seeds: distinct for neighbouring iterations and runs.
    std::set<std::uint64_t> seeds;
    for (std::uint64_t run = 0; run < 4; ++run)
        for (std::uint64_t iteration = 0; iteration < 64; ++iteration) seeds.insert(IterationSeed(run, iteration));
    EXPECT_EQ(seeds.size(), 256u);
}

}  // namespace
}  // namespace Kesh::StandIn
