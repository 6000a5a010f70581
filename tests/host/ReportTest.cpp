// pzl-host's reports: check selection and verdicts, JUnit and JSON output against their
// schemas, comparable timelines, and what a plugin file that cannot be used gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "formats/JsonReader.h"
#include "tests/host/ToolRun.h"
#include "tools/pzl-host/ExportList.h"
#include "tools/pzl-host/PluginLibrary.h"
#include "tools/pzl-host/Report.h"

namespace Kesh::StandIn {
namespace {

using Output = Testing::ToolOutput;
using Testing::Broken;
using Testing::Read;
using Testing::Shell;
using Testing::TempPath;
using Testing::Tool;
using Testing::WriteTemp;

const std::string kUx = PZL_UX_PLUGIN;

TEST(Report, GlobMatchesLikeFnmatch) {
    const struct {
        const char* pattern;
        const char* text;
        bool matches;
    } cases[] = {
        {"init-unload", "init-unload", true},   {"init", "init-unload", false},
        {"*", "anything", true},                {"*", "", true},
        {"malformed-*", "malformed-requests", true}, {"*-calls", "valid-calls", true},
        {"*-calls", "valid-calls-not", false},  {"r*d*s", "random-payloads", true},
        {"?alid-calls", "valid-calls", true},   {"?", "", false},
        {"[rv]*", "valid-calls", true},         {"[rv]*", "init-unload", false},
        {"[!rv]*", "init-unload", true},        {"[a-c]*", "balanced-allocations", true},
        {"[a-c]*", "single-export", false},     {"\\*", "*", true},
        {"\\*", "a", false},                    {"[", "[", true},
        {"a*b*c", "aXbYbZc", true},             {"a*b*c", "aXbYbZ", false},
    };
    for (const auto& one : cases) {
        EXPECT_EQ(GlobMatch(one.pattern, one.text), one.matches) << one.pattern << " against " << one.text;
    }
}

// --check and --skip: globs select in the table's order, a skip carries its reason and
// no seed.
// The first line names the tool, its version, the plugin and the seed; each verdict has
// its duration, and the random checks their seed.
TEST(Report, CheckAndSkipSelectByNameAndGlob) {
    const Output selected = Tool("validate --json --seed 77 --check 'malformed-*' --check init-unload --check 'init-*' "
                                 "--check 'single-*' --check random-payloads --skip 'malformed-p*=too slow here' " + kUx, false);
    EXPECT_EQ(selected.status, 0) << selected.Text();
    const std::vector<BindingProperty> lines = selected.Json();
    ASSERT_EQ(lines.size(), 7u) << selected.Text();
    EXPECT_EQ(lines[0].GetMember("type").GetStringView(), "start");
    EXPECT_EQ(lines[0].GetMember("plugin").GetStringView(), kUx);
    EXPECT_EQ(lines[0].GetMember("seed").ToDouble(), 77.0);
    EXPECT_TRUE(std::regex_match(std::string(lines[0].GetMember("toolVersion").GetStringView()),
                                 std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
    const struct {
        const char* check;
        const char* verdict;
        bool seeded;
    } expected[] = {{"single-export", "PASS", false},     {"init-unload", "PASS", true},
                    {"random-payloads", "PASS", true},    {"malformed-payloads", "SKIP", false},
                    {"malformed-requests", "SKIP", true}};
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const BindingProperty& line = lines[i + 1];
        SCOPED_TRACE(expected[i].check);
        EXPECT_EQ(line.GetMember("type").GetStringView(), "verdict");
        EXPECT_EQ(line.GetMember("check").GetStringView(), expected[i].check);
        EXPECT_EQ(line.GetMember("result").GetStringView(), expected[i].verdict);
        EXPECT_EQ(line.HasMember("seed") ? line.GetMember("seed").ToDouble() : -1.0, expected[i].seeded ? 77.0 : -1.0);
        if (expected[i].verdict == std::string("PASS")) {
            EXPECT_GT(line.GetMember("durationMs").ToDouble(), 0.0);
        }
    }
    EXPECT_EQ(lines[4].GetMember("reason").GetStringView(), "too slow here");
    EXPECT_EQ(lines[6].GetMember("type").GetStringView(), "summary");
    EXPECT_EQ(lines[6].GetMember("run").ToDouble(), 5.0);
    EXPECT_EQ(lines[6].GetMember("skipped").ToDouble(), 2.0);

    const Output text = Tool("validate --skip 'random-*=not today' --check random-payloads " + kUx);
    EXPECT_EQ(text.status, 0);
    ASSERT_EQ(text.lines.size(), 2u) << text.Text();
    EXPECT_EQ(text.lines[0], "SKIP  random-payloads            not today");
    EXPECT_EQ(text.lines[1], "1 check run, 0 passed, 0 failed, 1 skipped, 0 warned");

}

// A slow init or reply passes with a warning, against thresholds either side of the
// real time; --strict turns the warning into a failed run.
TEST(Report, SlowPluginsWarnAndStrictFails) {
    struct Case {
        std::string arguments;
        int status;
        std::string verdict;
        std::string says;
    };
    std::vector<Case> cases = {
        {"--check init-unload --slow-init 100000 " + kUx, 0, "PASS", "subscriptions"},
        {"--check init-unload --slow-init 0 " + kUx, 0, "WARN", "init took "},
        {"--check init-unload --slow-init 0 --strict " + kUx, 1, "WARN", ", over 0.0 ms"},
    };
#ifdef PZL_SAMPLE_PLUGIN
    const std::string sample = PZL_SAMPLE_PLUGIN;
    cases.push_back({"--seed 2 --check valid-calls --slow-reply 100000 " + sample, 0, "PASS", "calls answered"});
    cases.push_back({"--seed 2 --check valid-calls --slow-reply 0 " + sample, 0, "WARN", "a reply took "});
#endif
    for (const Case& one : cases) {
        SCOPED_TRACE(one.arguments);
        const Output run = Tool("validate --json " + one.arguments, false);
        EXPECT_EQ(run.status, one.status) << run.Text();
        const std::vector<BindingProperty> lines = run.Json();
        ASSERT_EQ(lines.size(), 3u) << run.Text();
        EXPECT_EQ(lines[1].GetMember("result").GetStringView(), one.verdict) << run.Text();
        EXPECT_NE(lines[1].GetMember("reason").GetStringView().find(one.says), std::string_view::npos) << run.Text();
        EXPECT_EQ(lines[2].GetMember("warned").ToDouble(), one.verdict == "WARN" ? 1.0 : 0.0);
        EXPECT_EQ(lines[2].GetMember("ok").ToBool(), one.status == 0);
    }
    const Output text = Tool("validate --strict --slow-init 0 --check init-unload " + kUx);
    ASSERT_FALSE(text.lines.empty());
    EXPECT_EQ(text.lines.back(), "1 check run, 0 passed, 0 failed, 0 skipped, 1 warned (strict: warnings fail)");
}

// xmllint's verdict on a file against our JUnit schema: its output, status 0 when valid;
// status 0 also when xmllint is not installed (scripts/setup-deps installs it).
Output XmlLint(const std::string& file) {
    if (Shell("command -v xmllint >/dev/null 2>&1").status != 0) return {0, {"no xmllint"}};
    return Shell("xmllint --noout --schema " + std::string(PZL_HOST_SOURCES) + "/pzl-host-junit.xsd " + file + " 2>&1");
}

// The number in attribute name of the first element that has it.
long long Attribute(const std::string& xml, const std::string& name) {
    std::smatch found;
    if (!std::regex_search(xml, found, std::regex(" " + name + "=\"([0-9]+)\""))) return -1;
    return std::stoll(found[1]);
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// validate --junit and run --junit against the schema, with failures, skips, warnings
// and repeated names in them, and the counts matching the cases.
TEST(Report, JUnitReportsFollowTheirSchema) {
    // The schema is really applied: a case with both a failure and a skip is refused.
    const std::string wrong = WriteTemp("wrong.xml",
                                    "<testsuites name=\"a\" tests=\"1\" failures=\"1\" errors=\"0\" skipped=\"1\" "
                                    "time=\"0.000\"><testsuite name=\"a\" tests=\"1\" failures=\"1\" errors=\"0\" "
                                    "skipped=\"1\" time=\"0.000\"><testcase name=\"c\" classname=\"k\" time=\"0.000\">"
                                    "<failure message=\"m\" type=\"failure\"/><skipped message=\"s\"/></testcase>"
                                    "</testsuite></testsuites>");
    EXPECT_TRUE(XmlLint(wrong).status != 0 || XmlLint(wrong).Has("no xmllint"));

    // The leaky plugin fails one check; one is skipped by option, one warns.
    const std::string validateXml = TempPath("validate.xml");
    const Output validate = Tool("validate --json --seed 9 --slow-init 0 --skip 'random-*=no time' --junit " + validateXml +
                                     " " + Broken("leak"), false);
    EXPECT_EQ(validate.status, 1) << validate.Text();
    const Output lint = XmlLint(validateXml);
    EXPECT_EQ(lint.status, 0) << lint.Text() << Read(validateXml);
    const std::string xml = Read(validateXml);
    std::map<std::string, long long> counts;
    for (const BindingProperty& line : validate.Json()) {
        if (line.GetMember("type").GetStringView() != "verdict") continue;
        ++counts["tests"];
        ++counts[std::string(line.GetMember("result").GetStringView())];
        const std::string name(line.GetMember("check").GetStringView());
        const std::string reason = XmlText(line.GetMember("reason").GetStringView());
        const std::string_view verdict = line.GetMember("result").GetStringView();
        const std::size_t at = xml.find("<testcase name=\"" + name + "\"");
        ASSERT_NE(at, std::string::npos) << name;
        const std::string testcase = xml.substr(at, xml.find("</testcase>", at) - at);
        if (verdict == "FAIL") {
            EXPECT_NE(testcase.find("<failure message=\"" + reason + "\""), std::string::npos) << testcase;
        }
        if (verdict == "SKIP") {
            EXPECT_NE(testcase.find("<skipped message=\"" + reason + "\""), std::string::npos) << testcase;
        }
        if (verdict == "WARN") {
            EXPECT_NE(testcase.find("<property name=\"warning\" value=\"" + reason + "\""), std::string::npos) << testcase;
        }
        if (verdict == "PASS" || verdict == "WARN") {
            EXPECT_EQ(testcase.find("<failure"), std::string::npos) << testcase;
            EXPECT_EQ(testcase.find("<skipped"), std::string::npos) << testcase;
        }
    }
    EXPECT_EQ(counts["FAIL"], 1);
    EXPECT_GE(counts["SKIP"], 2);
    EXPECT_GE(counts["WARN"], 1);
    EXPECT_EQ(Attribute(xml, "tests"), counts["tests"]);
    EXPECT_EQ(Count(xml, "<testcase "), static_cast<std::size_t>(counts["tests"]));
    EXPECT_EQ(Attribute(xml, "failures"), counts["FAIL"]);
    EXPECT_EQ(Attribute(xml, "skipped"), counts["SKIP"]);
    EXPECT_NE(xml.find("<property name=\"seed\" value=\"9\"/>"), std::string::npos);

    // run: a case per expectation, failed ones with expected and actual, in the report
    // and on the terminal; exit 1.
    const std::string scenario = WriteTemp("junit.yaml",
                                       "steps:\n  - set: /qor-login/v1/session\n    value: {}\n  - expect:\n"
                                       "      requests: [POST /keshclient/affinity]\n      resources:\n"
                                       "        /keshclient/affinity: ~\n        /nothing/here: ~\n");
    const std::string runXml = TempPath("run.xml");
    const Output run = Tool("run --junit " + runXml + " " + kUx + " " + scenario);
    EXPECT_EQ(run.status, 1) << run.Text();
    EXPECT_TRUE(run.Has("FAIL requests  (" + scenario + ":5:17)")) << run.Text();
    EXPECT_TRUE(run.Has("expected POST /keshclient/affinity")) << run.Text();
    EXPECT_TRUE(run.Has("actual   DELETE /keshclient/affinity")) << run.Text();
    const Output runLint = XmlLint(runXml);
    EXPECT_EQ(runLint.status, 0) << runLint.Text() << Read(runXml);
    const std::string runText = Read(runXml);
    EXPECT_EQ(Attribute(runText, "tests"), 3);
    EXPECT_EQ(Count(runText, "<testcase "), 3u);
    EXPECT_EQ(Attribute(runText, "failures"), 1);
    EXPECT_NE(runText.find("<testcase name=\"requests at " + scenario + ":5:17\""), std::string::npos) << runText;
    EXPECT_NE(runText.find("expected:&#10;  POST /keshclient/affinity&#10;actual:&#10;  DELETE /keshclient/affinity"),
              std::string::npos)
        << runText;

    // Texts a plugin chose: markup, control characters, bytes that are not UTF-8, and a
    // name given twice.
    JUnitCase hostile;
    hostile.name = "same";
    hostile.className = "k";
    hostile.outcome = JUnitCase::Outcome::Failed;
    hostile.message = std::string("<a href=\"x\">&'\x01\x1b[31m\xff\xc3(\xed\xa0\x80 ok \xc3\xa9", 33);
    JUnitCase again = hostile;
    again.outcome = JUnitCase::Outcome::Skipped;
    std::string error;
    const std::string hostileXml = TempPath("hostile.xml");
    ASSERT_TRUE(WriteJUnit(hostileXml, "s\x02", {{"p", "v\x7f<"}}, {hostile, again}, error)) << error;
    const Output hostileLint = XmlLint(hostileXml);
    EXPECT_EQ(hostileLint.status, 0) << hostileLint.Text() << Read(hostileXml);
    EXPECT_NE(Read(hostileXml).find("name=\"same (2)\""), std::string::npos);
    EXPECT_NE(Read(hostileXml).find("&lt;a href=&quot;x&quot;&gt;&amp;&apos;"), std::string::npos);
    EXPECT_NE(Read(hostileXml).find(" ok \xc3\xa9"), std::string::npos);
    EXPECT_FALSE(WriteJUnit("/no/such/dir/report.xml", "s", {}, {}, error));
    EXPECT_NE(error.find("cannot write /no/such/dir/report.xml"), std::string::npos) << error;
    const Output unwritable = Tool("validate --check init-unload --junit /no/such/dir/r.xml " + kUx);
    EXPECT_EQ(unwritable.status, 2) << unwritable.Text();
}

// Every subcommand's --json lines against the one JSON schema, with a real validator.
TEST(Report, JsonLinesFollowTheSchema) {
    if (Shell("command -v node >/dev/null 2>&1").status != 0) GTEST_SKIP() << "node is not installed";
    std::vector<std::string> files;
    auto save = [&](const std::string& name, const std::string& arguments) {
        const Output run = Tool(arguments, false);
        EXPECT_FALSE(run.lines.empty()) << arguments;
        for (const BindingProperty& line : run.Json()) EXPECT_TRUE(line.HasMember("type")) << arguments;
        files.push_back(WriteTemp(name + ".jsonl", run.Text()));
    };
    save("validate", "validate --json --seed 4 --slow-init 0 --skip before-init-after-unload=because " + Broken("leak"));
    save("list", "list-checks --json");
    save("run", "run --json " + kUx + " " + PZL_SCENARIOS + "/whole-game.yaml");
    save("run-plain", "run --json --no-timestamps " + kUx + " " + PZL_SCENARIOS + "/host-failures.yaml");
    save("describe", "describe --json " + kUx);
    const std::string crash = WriteTemp("crash.yaml", "timeout: 2\nsteps:\n  - set: /broken/v1/state\n    value: {count: 1}\n"
                                                  "  - set: /broken/v1/state\n    value: {}\n");
    save("crash", "run --json " + Broken("crash") + " " + crash);
#ifdef PZL_SAMPLE_PLUGIN
    const std::string sample = PZL_SAMPLE_PLUGIN;
    save("describe-sample", "describe --json " + sample);
    save("call", "call --json " + sample + " GetItem --arg id=3");
    save("call-error", "call --json " + sample + " Teapot");
    save("call-stream", "call --json " + sample + " Bytes --arg size=3");
    const std::string calls = WriteTemp("calls.yaml", "steps:\n  - call: Sum\n    args: {values: [1, 2]}\n    value: 4.0\n"
                                                  "  - call: Teapot\n    error: '*'\n");
    save("run-calls", "run --json " + sample + " " + calls);
#endif
    std::string command = "node " + std::string(PZL_HOST_WEB) + "/validate-json-lines.mjs " + PZL_HOST_SOURCES +
                          "/pzl-host-json.schema.json";
    for (const std::string& file : files) command += " " + file;
    const Output checked = Shell(command + " 2>&1");
    if (checked.status == 77) GTEST_SKIP() << checked.Text();
    EXPECT_EQ(checked.status, 0) << checked.Text();
    // The validator itself refuses a line that breaks the schema.
    const std::string bad = WriteTemp("bad.jsonl", "{\"type\":\"verdict\",\"check\":\"x\",\"result\":\"MAYBE\",\"reason\":\"\","
                                               "\"durationMs\":1}\n");
    EXPECT_EQ(Shell("node " + std::string(PZL_HOST_WEB) + "/validate-json-lines.mjs " + PZL_HOST_SOURCES +
                    "/pzl-host-json.schema.json " + bad + " >/dev/null 2>&1")
                  .status,
              1);
}

// With --no-timestamps two replays print the same, text and JSON alike; with times
// they differ.
TEST(Report, TimelinesWithoutTimestampsCompareEqual) {
    const std::string scenario = std::string(PZL_SCENARIOS) + "/whole-game.yaml";
    for (const char* format : {"", "--json "}) {
        SCOPED_TRACE(format);
        const Output first = Tool(std::string("run --no-timestamps ") + format + kUx + " " + scenario, false);
        const Output second = Tool(std::string("run --no-timestamps ") + format + kUx + " " + scenario, false);
        EXPECT_EQ(first.status, 0);
        EXPECT_GT(first.lines.size(), 20u);
        EXPECT_EQ(first.lines, second.lines);
        EXPECT_EQ(first.Text().find(" ms  "), std::string::npos) << first.Text();
        EXPECT_EQ(first.Text().find("\"t\":"), std::string::npos) << first.Text();
    }
    const Output timed = Tool("run --json " + kUx + " " + scenario, false);
    EXPECT_NE(timed.Text().find("\"t\":"), std::string::npos);
}

// The loaders' fault reports, for files cut short anywhere; and a PE image's export
// names, which the single-export check reads on Windows.
TEST(Report, FilesCutShortAreRefusedBeforeTheLoader) {
    // A minimal 32-bit PE image: DOS header, PE signature, COFF header, an optional
    // header of 224 bytes and one section of 512 bytes at 512.
    std::string pe(1024, '\0');
    pe[0] = 'M';
    pe[1] = 'Z';
    pe[0x3C] = 0x40;
    pe.replace(0x40, 4, std::string("PE\0\0", 4));
    pe[0x44] = 0x4C;  // machine i386
    pe[0x45] = 0x01;
    pe[0x46] = 1;     // one section
    pe[0x54] = static_cast<char>(0xE0);  // optional header size
    const std::size_t section = 0x40 + 24 + 0xE0;
    pe[section + 16 + 1] = 0x02;  // raw size 0x200
    pe[section + 20 + 1] = 0x02;  // raw data at 0x200
    const struct {
        std::size_t size;
        std::string says;
    } cut[] = {
        {1024, ""},
        {1023, "not a PE file (cut short: its sections end at byte 1024, the file has 1023)"},
        {section + 20, "not a PE file (cut short in its section table)"},
        {0x50, "not a PE file (no PE header)"},
        {30, "not a PE file (no MZ header)"},
        {0, "not a PE file (no MZ header)"},
    };
    for (const auto& one : cut) {
        SCOPED_TRACE(one.size);
        EXPECT_EQ(PluginLibrary::PeProblem(std::string_view(pe).substr(0, one.size), one.size), one.says);
    }
    EXPECT_EQ(PluginLibrary::PeProblem(std::string(1024, 'x'), 1024), "not a PE file (no MZ header)");

    // The same image with an export directory: the section maps RVA 0x1000 to byte 0x200,
    // where the directory lists two names; a name table outside every section is refused.
    auto put32 = [&pe](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) pe[at + i] = static_cast<char>(value >> (8 * i));
    };
    put32(section + 8, 0x200);     // virtual size
    put32(section + 12, 0x1000);   // virtual address
    put32(0x58 + 96, 0x1000);      // export directory RVA
    put32(0x200 + 24, 2);          // name count
    put32(0x200 + 32, 0x1040);     // name table RVA
    put32(0x240, 0x1050);
    put32(0x244, 0x1060);
    pe.replace(0x250, 6, "load_x");
    pe.replace(0x260, 5, "extra");
    std::vector<std::string> names;
    std::string error;
    ASSERT_TRUE(ListExports(WriteTemp("exports.dll", pe), names, error)) << error;
    EXPECT_EQ(names, (std::vector<std::string>{"load_x", "extra"}));
    put32(0x200 + 32, 0x3000);
    EXPECT_FALSE(ListExports(WriteTemp("exports.dll", pe), names, error));
    EXPECT_EQ(error, "malformed export directory");

    const std::string elf = Read(kUx);
    ASSERT_GT(elf.size(), 65536u);
    EXPECT_EQ(PluginLibrary::ElfProblem(std::string_view(elf).substr(0, 65536), elf.size()), "");
    // Cut inside what the loader maps (not in the debugging sections at the end, which it does not read).
    EXPECT_NE(PluginLibrary::ElfProblem(std::string_view(elf).substr(0, 65536), 65536).find("a truncated ELF file"),
              std::string::npos);
    EXPECT_NE(PluginLibrary::ElfProblem(std::string_view(elf).substr(0, 100), 100).find("a truncated ELF file"),
              std::string::npos);
    EXPECT_EQ(PluginLibrary::ElfProblem("not an ELF file at all, but long enough to hold a header of one", 70), "");
}

// Digits as N and runs of spaces as one: what stays the same from run to run and
// build to build.
std::string Shape(const std::string& line) {
    return std::regex_replace(std::regex_replace(line, std::regex("[0-9]+"), "N"), std::regex(" +"), " ");
}

// Each README example that begins "$ pzl-host" shows what that command prints for the
// library it names: its lines (with "..." for lines left out) appear in the real
// output in order. Verdict lines are compared by verdict and check, since the checks'
// own texts grow.
TEST(Report, ReadmeExamplesShowTheRealOutput) {
    std::ifstream readme(PZL_README);
    ASSERT_TRUE(readme.good());
    std::vector<std::vector<std::string>> examples;
    std::string line;
    bool inExample = false;
    while (std::getline(readme, line)) {
        const std::size_t indent = line.find_first_not_of(' ');
        const std::string body = indent == std::string::npos ? "" : line.substr(indent);
        if (body.starts_with("$ pzl-host ")) {
            examples.push_back({body});
            inExample = true;
        } else if (inExample && body.starts_with("```")) {
            inExample = false;
        } else if (inExample) {
            // The example's block is indented with its list item.
            examples.back().push_back(line.size() >= 2 ? line.substr(2) : "");
        }
    }
    ASSERT_GE(examples.size(), 2u);
    for (const auto& example : examples) {
        SCOPED_TRACE(example[0]);
        std::string command = example[0].substr(std::string("$ pzl-host ").size());
        for (const auto& [name, path] : {std::pair<std::string, std::string>{"$P", kUx},
#ifdef PZL_SAMPLE_PLUGIN
                                         {"$S", PZL_SAMPLE_PLUGIN}
#else
                                         {"$S", ""}
#endif
             }) {
            const std::size_t at = command.find(name);
            if (at == std::string::npos) continue;
            if (path.empty()) GTEST_SKIP() << "no sample plugin in this build";
            command.replace(at, name.size(), path);
        }
        const Output run = Tool(command, false);
        EXPECT_EQ(run.status, 0) << run.Text();
        std::size_t next = 0;
        for (std::size_t i = 1; i < example.size(); ++i) {
            std::string shown = example[i];
            if (shown == "...") continue;
            // The library's path is the reader's.
            if (shown.starts_with("library ")) continue;
            const bool verdict = std::regex_match(shown, std::regex("(PASS|FAIL|SKIP|WARN)  .*"));
            auto same = [&](const std::string& printed) {
                if (verdict) return printed.substr(0, 32) == shown.substr(0, 32);
                return Shape(printed) == Shape(shown);
            };
            while (next < run.lines.size() && !same(run.lines[next])) ++next;
            EXPECT_LT(next, run.lines.size()) << "not printed (in this order): " << shown << "\n" << run.Text();
            if (next == run.lines.size()) break;
            ++next;
        }
    }
}

}  // namespace
}  // namespace Kesh::StandIn
