#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"
#include "tests/host/ToolRun.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/checks/PayloadMaker.h"

namespace Kesh::StandIn {
namespace {

using Testing::BrokenCase;

// Each broken plugin fails (or, for threads, warns in) the one check its fault belongs
// to, and passes (or skips) every other.
TEST(LifecycleChecks, EachBrokenPluginFailsOnlyItsCheck) {
    const BrokenCase cases[] = {
        {"two-exports", "single-export", "FAIL", "expected exactly load_broken_two_exports, found 2 exports: "
                                                 "load_broken_two_exports, broken_extra_entry"},
        // The byte count depends on the allocator underneath (its per-block share differs
        // between 32 and 64 bits and under the sanitizers), so the count of blocks is pinned.
        {"leak", "balanced-allocations", "FAIL", "50 allocations ("},
        {"stream-open", "init-unload", "FAIL", "the streamed body of POST /broken/v1/feed was left open (answers streamed)"},
        {"double-release", "init-unload", "FAIL", "the reply of POST /broken/v1/feed was released 2 times"},
        {"thread", "threads", "WARN",
         "1 host call(s) from a thread the host never called the plugin on: request POST /broken/v1/thread (during init)"},
        {"after-unload", "before-init-after-unload", "FAIL", "the plugin called the host 1 time(s) after unload: log 0 counters read"},
        {"clock", "deterministic", "FAIL", "the same events gave different host calls at call 5: first run request POST /broken/v1/clock"},
        {"loop", "host-errors", "FAIL",
         "with every request answered with 500 the plugin made 55 requests where it makes 1 when the host answers (it retries "
         "without end), last request POST /broken/v1/hello"},
        {"newer-version", "registration", "FAIL", "plugin API version 18.99.0 is newer than the core's 18.3.1, which it accepted"},
        {"slot-table", "repeated-cycles", "FAIL", "cycle 21: init answered false"},
        {"first-client", "second-object", "FAIL", "the second object used the first one's client id"},
    };
    for (const BrokenCase& one : cases) Testing::ExpectOnlyThatCheck(one);
}

// Faults that more than one check sees: each of these checks names it.
TEST(LifecycleChecks, FaultsSeenBySeveralChecks) {
    const struct {
        const char* plugin;
        const char* check;
        const char* fragment;
    } cases[] = {
        {"crash", "random-payloads", "the plugin crashed (Segmentation fault)"},
        {"crash", "malformed-payloads", "the plugin crashed (Segmentation fault)"},
        // This one crashes on a few values only: the random payloads themselves reach it.
        {"crash-some", "random-payloads", "the plugin crashed (Segmentation fault)"},
        {"dangling-name", "api-table", "function 0 has no readable name (dangling name pointer)"},
        {"unknown-type", "api-table", "function Lookup's parameter filter names the unknown type BrokenLookupFilter"},
    };
    for (const auto& one : cases) {
        SCOPED_TRACE(std::string(one.plugin) + " " + one.check);
        const Testing::ValidateRun run = Testing::Validate(Testing::Broken(one.plugin), std::string("--seed 7 --check ") + one.check);
        EXPECT_EQ(run.status, 1) << run.output;
        ASSERT_EQ(run.checks.size(), 1u) << run.output;
        EXPECT_EQ(run.checks.at(one.check).verdict, "FAIL") << run.output;
        EXPECT_NE(run.checks.at(one.check).reason.find(one.fragment), std::string::npos) << run.output;
    }
    // describe reads the table with the unknown type without crashing.
    const Testing::ToolOutput text = Testing::Tool("describe " + Testing::Broken("unknown-type"));
    EXPECT_EQ(text.status, 0) << text.Text();
    EXPECT_TRUE(text.Has("Lookup  GET /broken/v1/lookup -> none")) << text.Text();
    EXPECT_TRUE(text.Has("struct BrokenLookupFilter  (body, optional)")) << text.Text();
}

// Both real plugins pass every check (none warns); only checks of functions are skipped
// for a plugin without any. list-checks names exactly the checks validate runs. Every
// argument of a valid call goes, besides typed, to each other place its location allows:
// the sample's 8 functions give 16 typed calls (required only, then all), and 6 more with
// an argument in the query (Echo, Sum), in a header (Echo, Sum, Whoami) or in the body
// (PutFile).
TEST(LifecycleChecks, RealPluginsPassEveryCheck) {
    struct Plugin {
        std::string path;
        std::vector<std::string> skipped;
        std::string validCalls;  // how the valid-calls reason begins
    };
    std::vector<Plugin> plugins = {{PZL_UX_PLUGIN, {"malformed-requests", "valid-calls"}, ""}};
#ifdef PZL_SAMPLE_PLUGIN
    plugins.push_back({PZL_SAMPLE_PLUGIN, {}, "22 calls answered"});
#endif
    std::set<std::string> validated;
    for (const Plugin& plugin : plugins) {
        SCOPED_TRACE(plugin.path);
        const Testing::ValidateRun run = Testing::Validate(plugin.path, "--seed 11");
        for (const auto& entry : run.checks) validated.insert(entry.first);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(run.checks.size(), 15u) << run.output;
        std::vector<std::string> skipped;
        for (const auto& [check, outcome] : run.checks) {
            if (outcome.verdict == "SKIP") skipped.push_back(check);
            else EXPECT_EQ(outcome.verdict, "PASS") << check << ": " << outcome.reason;
        }
        EXPECT_EQ(skipped, plugin.skipped);
        EXPECT_TRUE(run.checks.at("valid-calls").reason.starts_with(plugin.validCalls)) << run.output;
    }
    const Testing::ToolOutput list = Testing::Tool("list-checks --json");
    ASSERT_EQ(list.status, 0) << list.Text();
    std::set<std::string> listed;
    for (const BindingProperty& line : list.Json()) {
        listed.insert(std::string(line.GetMember("check").GetStringView()));
        EXPECT_FALSE(line.GetMember("description").GetStringView().empty());
    }
    EXPECT_EQ(listed, validated);
    EXPECT_EQ(listed.size(), list.lines.size());
}

// Random payloads speak the plugin's language: every name its table declares (types,
// fields, enumerators, parameters), sorted, then a few texts no declaration holds; none
// of another plugin's words.
TEST(LifecycleChecks, PayloadWordsComeFromThePluginsOwnDeclarations) {
    EnumeratorDescriptionRecord enumerators[2] = {{&enumerators[1], "Lobby", "", 0}, {nullptr, "InGame", "", 1}};
    FieldDescriptionRecord fields[2] = {{&fields[1], "stage", "", 0, 16, 0, "Stage", 0}, {nullptr, "count", "", 4, 6, 0, "", 0}};
    TypeDescriptionRecord types[2] = {{&types[1], "Stage", "", 4, "", nullptr, 0, nullptr, enumerators, 2},
                                      {nullptr, "Game", "", 8, "", nullptr, 0, fields, nullptr, 2}};
    ParameterDescriptionRecord parameters[1] = {{nullptr, "limit", "", 1, 6, 0, "", 1}};
    ApiFunctionRecord function{};
    function.parameters = parameters;
    function.parameterCount = 1;
    const ApiTable table{&function, 1, types, 2, nullptr, 0};

    const std::vector<std::string> words = PayloadMaker::Vocabulary(&table);
    const std::vector<std::string> declared = {"Game", "InGame", "Lobby", "Stage", "count", "limit", "stage"};
    ASSERT_GT(words.size(), declared.size());
    EXPECT_EQ(std::vector<std::string>(words.begin(), words.begin() + static_cast<long>(declared.size())), declared);
    EXPECT_EQ(std::count(words.begin(), words.end(), "ZoomScale"), 0);
    EXPECT_EQ(std::count(words.begin(), words.end(), ""), 1);

    // The same seed draws the same payloads.
    PayloadMaker first(42, &table), second(42, &table), other(43, &table);
    std::vector<std::string> a, b, c;
    for (int i = 0; i < 50; ++i) {
        a.push_back(first.Word());
        b.push_back(second.Word());
        c.push_back(other.Word());
    }
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
}

// A request to the fake host, its answer read the way the checks see it.
struct Answer {
    bool error = false;
    std::uint32_t status = 0;
    bool streamed = false;
    std::string body;
};

Answer Ask(FakeHost& host, HttpMethod method, const char* url) {
    HostRequest request{};
    request.method = static_cast<std::uint32_t>(method);
    request.url = url;
    HostReply reply{};
    host.Api().request(&host.Api(), &reply, &request);
    Answer answer;
    answer.error = reply.result.hasError != 0;
    answer.status = reply.statusCode;
    answer.streamed = reply.readBody != nullptr;
    if (answer.streamed) {
        char buffer[64];
        std::uint8_t more = 1;
        while (more != 0) {
            std::uint32_t length = sizeof buffer;
            if (reply.readBody(reply.bodyOwner, buffer, &length, &more) == 0) break;
            answer.body.append(buffer, length);
        }
        reply.releaseBody(reply.bodyOwner);
    }
    reply.release(&reply);
    return answer;
}

// A failing host answers the given number of requests with its error and changes
// nothing meanwhile; then it answers as before. Streamed answers carry the value's
// text, errors stay errors.
TEST(LifecycleChecks, FakeHostFailsForABudgetAndStreamsAnswers) {
    FakeHost host;
    host.SetResource("/a", BindingProperty(5));
    host.FailRequests(ReplyPlan::Error("Internal error", 500), 2);
    EXPECT_EQ(Ask(host, HttpMethod::Get, "/a").status, 500u);
    const Answer put = Ask(host, HttpMethod::Put, "/b");
    EXPECT_TRUE(put.error);
    EXPECT_FALSE(host.HasResource("/b"));
    const Answer after = Ask(host, HttpMethod::Get, "/a");
    EXPECT_FALSE(after.error);
    EXPECT_EQ(after.status, 200u);
    EXPECT_EQ(host.FailedRequests(), 2u);

    host.StreamAnswers([](const BindingProperty& value) { return "value " + std::to_string(static_cast<int>(value.ToDouble())); });
    const Answer streamed = Ask(host, HttpMethod::Get, "/a");
    EXPECT_TRUE(streamed.streamed);
    EXPECT_EQ(streamed.body, "value 5");
    const Answer missing = Ask(host, HttpMethod::Get, "/nothing");
    EXPECT_TRUE(missing.error);
    EXPECT_FALSE(missing.streamed);
    for (const RecordedRequest& request : host.Requests()) EXPECT_EQ(request.replyReleases, 1u) << request.url;
    EXPECT_EQ(host.OpenStreams(), 0u);
}

}  // namespace
}  // namespace Kesh::StandIn
