#include "tools/pzl-host/Validate.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string_view>
#include <sys/stat.h>

#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/PluginLibrary.h"
#include "tools/pzl-host/Report.h"
#include "tools/pzl-host/checks/Check.h"

namespace Kesh::StandIn {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Milliseconds rounded to microseconds, so that JSON shows them without noise.
double Rounded(double milliseconds) { return static_cast<double>(static_cast<long long>(milliseconds * 1000.0)) / 1000.0; }

std::string CheckNames() {
    std::string list;
    for (const Check& check : AllChecks()) list += std::string(list.empty() ? "" : ", ") + check.name;
    return list;
}

bool IsGlob(std::string_view pattern) { return pattern.find_first_of("*?[") != std::string_view::npos; }

// Every pattern must name at least one check: a typo would otherwise select or skip
// nothing without a word.
bool MatchesSomeCheck(const std::string& pattern, const char* option) {
    for (const Check& check : AllChecks()) {
        if (GlobMatch(pattern, check.name)) return true;
    }
    if (IsGlob(pattern)) {
        std::fprintf(stderr, "pzl-host: %s %s matches no check (checks: %s)\n", option, pattern.c_str(), CheckNames().c_str());
    } else {
        std::fprintf(stderr, "pzl-host: unknown check %s (checks: %s)\n", pattern.c_str(), CheckNames().c_str());
    }
    return false;
}

// The slowest call of one kind that the check reported.
struct Slowest {
    double milliseconds = -1;
    std::string what;
};

// "153 ms", "0.4 ms": tenths where they matter, whatever the locale.
std::string Milliseconds(double value) {
    const long long tenths = static_cast<long long>(value * 10.0 + 0.5);
    if (tenths >= 100) return std::to_string((tenths + 5) / 10) + " ms";
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
}

struct Result {
    const Check* check;
    std::string verdict;
    std::string reason;
    double milliseconds = 0;
    bool ran = true;
    // Of the inputs a random check generated, so that two runs can be compared.
    std::string digest;
    // The last host calls and the plugin's output, shown under a failure.
    std::string details;
};

std::string JsonLine(const Result& result, std::uint64_t seed) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("type");
    writer.String("verdict");
    writer.Key("check");
    writer.String(result.check->name);
    writer.Key("result");
    writer.String(result.verdict.c_str());
    writer.Key("reason");
    writer.String(result.reason.c_str(), static_cast<rapidjson::SizeType>(result.reason.size()));
    if (result.check->random && result.ran) {
        writer.Key("seed");
        writer.Uint64(seed);
    }
    // The digest goes with the seed it was drawn from.
    if (!result.digest.empty()) {
        writer.Key("digest");
        writer.String(result.digest.c_str(), static_cast<rapidjson::SizeType>(result.digest.size()));
    }
    writer.Key("durationMs");
    writer.Double(Rounded(result.milliseconds));
    writer.EndObject();
    return buffer.GetString();
}

// Runs one check in a child and turns what came back into a verdict.
Result RunOne(const Check& check, const ValidateOptions& options, std::uint64_t seed) {
    CheckContext context{options.plugin, seed};
    context.iterations = options.iterations;
    context.duration = options.duration;
    std::string verdictLine, lastNote, digest;
    std::map<std::string, Slowest> slowest;
    const Clock::time_point start = Clock::now();
    const IsolatedOutcome outcome = RunIsolated(
        check.name,
        [&](const Channel& channel) {
            context.channel = &channel;
            const Verdict verdict = check.run(context);
            char text[24];
            std::snprintf(text, sizeof text, "#%016llx", static_cast<unsigned long long>(context.inputDigest));
            if (check.random) channel.Send(text);
            channel.Send(std::string(verdict.Word()) + " " + verdict.reason);
            return 0;
        },
        options.timeout, [&](std::string_view line) {
            if (line.starts_with("~")) {
                lastNote = line.substr(1);
            } else if (line.starts_with("#")) {
                digest = line.substr(1);
            } else if (line.starts_with("@")) {
                // "@kind<tab>microseconds<tab>what"
                const std::size_t tab = line.find('\t');
                const std::size_t second = tab == std::string_view::npos ? tab : line.find('\t', tab + 1);
                if (second == std::string_view::npos) return;
                const double milliseconds = std::strtod(std::string(line.substr(tab + 1, second - tab - 1)).c_str(), nullptr) / 1000.0;
                Slowest& kind = slowest[std::string(line.substr(1, tab - 1))];
                if (milliseconds > kind.milliseconds) kind = {milliseconds, std::string(line.substr(second + 1))};
            } else {
                verdictLine = line;
            }
        });
    Result result{&check, "FAIL", "", MillisecondsSince(start), true, digest, FailureDetails(outcome, "      ")};
    if (outcome.end == IsolatedOutcome::End::Crashed) {
        result.reason = "the plugin crashed (" + outcome.signalName + ")";
        if (!lastNote.empty()) result.reason += " in " + lastNote;
    } else if (outcome.end == IsolatedOutcome::End::TimedOut) {
        result.reason = "no answer within " + std::to_string(static_cast<int>(options.timeout)) + " s";
        if (!lastNote.empty()) result.reason += " in " + lastNote;
    } else if (verdictLine.size() >= 4) {
        result.verdict = verdictLine.substr(0, 4);
        result.reason = verdictLine.size() > 5 ? verdictLine.substr(5) : "";
    } else {
        result.reason = "the check ended without a verdict (status " + std::to_string(outcome.exitCode) + ")";
    }
    if (result.verdict == "PASS") {
        // A plugin that works but keeps the host waiting: the host calls it on threads
        // it needs for other work.
        std::string slow;
        const Slowest& init = slowest["init"];
        const Slowest& reply = slowest["reply"];
        if (init.milliseconds > options.slowInitMs)
            slow = "init took " + Milliseconds(init.milliseconds) + ", over " + Milliseconds(options.slowInitMs);
        if (reply.milliseconds > options.slowReplyMs)
            slow += std::string(slow.empty() ? "" : "; ") + "a reply took " + Milliseconds(reply.milliseconds) + ", over " +
                    Milliseconds(options.slowReplyMs) + " (" + reply.what + ")";
        if (!slow.empty()) {
            result.verdict = "WARN";
            result.reason = slow + (result.reason.empty() ? "" : "; " + result.reason);
        }
    }
    return result;
}

// Whether the library can be opened as a plugin at all (in a child: its static
// initialisers run). Empty when it can, or when opening it crashed or hung, which the
// checks then report; else the one-line reason.
std::string OpenProblem(const std::string& plugin) {
    std::string problem;
    RunIsolated(
        "open",
        [&](const Channel& channel) {
            PluginLibrary library;
            if (library.Open(plugin)) return 0;
            channel.Send(library.Error());
            return 2;
        },
        60.0, [&](std::string_view line) { problem = line; });
    return problem;
}

JUnitCase JUnitCaseOf(const Result& result, bool strict, std::uint64_t seed) {
    JUnitCase one;
    one.name = result.check->name;
    one.className = "pzl-host.validate";
    one.seconds = result.milliseconds / 1000.0;
    if (result.check->random && result.ran) one.properties.emplace_back("seed", std::to_string(seed));
    if (result.verdict == "FAIL") {
        one.outcome = JUnitCase::Outcome::Failed;
        one.message = result.reason;
    } else if (result.verdict == "SKIP") {
        one.outcome = JUnitCase::Outcome::Skipped;
        one.message = result.reason;
    } else if (result.verdict == "WARN") {
        one.properties.emplace_back("warning", result.reason);
        one.systemOut = "WARN " + result.reason;
        if (strict) {
            one.outcome = JUnitCase::Outcome::Failed;
            one.message = "a warning, and the run is strict: " + result.reason;
        }
    } else {
        one.systemOut = result.reason;
    }
    return one;
}

}  // namespace

int ValidatePlugin(const ValidateOptions& options, std::FILE* out) {
    std::vector<std::pair<std::string, std::string>> skips;
    for (const std::string& skip : options.skips) {
        const std::size_t equals = skip.find('=');
        if (equals == std::string::npos || equals == 0 || equals + 1 == skip.size()) {
            std::fprintf(stderr, "pzl-host: --skip takes NAME=REASON (the reason is reported): %s\n", skip.c_str());
            return 2;
        }
        skips.emplace_back(skip.substr(0, equals), skip.substr(equals + 1));
        if (!MatchesSomeCheck(skips.back().first, "--skip")) return 2;
    }
    for (const std::string& pattern : options.checks) {
        if (!MatchesSomeCheck(pattern, "--check")) return 2;
    }
    struct stat info {};
    if (stat(options.plugin.c_str(), &info) != 0) {
        std::fprintf(stderr, "pzl-host: cannot open plugin %s: no such file\n", options.plugin.c_str());
        return 2;
    }
    const std::string problem = OpenProblem(options.plugin);
    if (!problem.empty()) {
        std::fprintf(stderr, "pzl-host: %s\n", problem.c_str());
        return 2;
    }
    const std::uint64_t seed = ResolveSeed(options.seed);
    if (options.json) {
        std::fprintf(out, "%s\n", StartLine("validate", options.plugin, seed).c_str());
        std::fflush(out);
    }
    const Clock::time_point start = Clock::now();
    int run = 0, passed = 0, failed = 0, skipped = 0, warned = 0;
    std::vector<JUnitCase> cases;
    for (const Check& check : AllChecks()) {
        bool selected = options.checks.empty();
        for (const std::string& pattern : options.checks) selected = selected || GlobMatch(pattern, check.name);
        if (!selected) continue;
        const std::pair<std::string, std::string>* skip = nullptr;
        for (const auto& one : skips) {
            if (skip == nullptr && GlobMatch(one.first, check.name)) skip = &one;
        }
        Result result = skip != nullptr ? Result{&check, "SKIP", skip->second, 0, false, {}, {}} : RunOne(check, options, seed);
        ++run;
        if (result.verdict == "PASS") ++passed;
        if (result.verdict == "FAIL") ++failed;
        if (result.verdict == "SKIP") ++skipped;
        if (result.verdict == "WARN") ++warned;
        cases.push_back(JUnitCaseOf(result, options.strict, seed));
        const bool fails = result.verdict == "FAIL" || (options.strict && result.verdict == "WARN");
        if (options.onlyFailed && !fails) continue;
        if (options.json) {
            std::fprintf(out, "%s\n", JsonLine(result, seed).c_str());
        } else {
            std::fprintf(out, "%s  %-26s %s%s\n", result.verdict.c_str(), check.name, result.reason.c_str(),
                         check.random && result.ran ? (" (seed " + std::to_string(seed) + ")").c_str() : "");
            // The last host calls before a crash or a hang, and what the plugin printed.
            if (result.verdict == "FAIL") std::fputs(result.details.c_str(), out);
        }
        std::fflush(out);
    }
    const bool ok = failed == 0 && !(options.strict && warned > 0);
    if (options.json) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        writer.StartObject();
        writer.Key("type");
        writer.String("summary");
        for (const auto& [key, count] : {std::pair{"run", run}, {"passed", passed}, {"failed", failed}, {"skipped", skipped},
                                         {"warned", warned}}) {
            writer.Key(key);
            writer.Int(count);
        }
        writer.Key("strict");
        writer.Bool(options.strict);
        writer.Key("ok");
        writer.Bool(ok);
        writer.Key("durationMs");
        writer.Double(Rounded(MillisecondsSince(start)));
        writer.EndObject();
        std::fprintf(out, "%s\n", buffer.GetString());
    } else {
        std::fprintf(out, "%d %s run, %d passed, %d failed, %d skipped, %d warned%s\n", run, run == 1 ? "check" : "checks",
                     passed, failed, skipped, warned, options.strict && warned > 0 && failed == 0 ? " (strict: warnings fail)" : "");
    }
    std::fflush(out);
    if (!options.junit.empty()) {
        std::string error;
        const std::vector<std::pair<std::string, std::string>> properties = {
            {"plugin", options.plugin}, {"seed", std::to_string(seed)}, {"toolVersion", ToolVersion()},
            {"strict", options.strict ? "yes" : "no"}};
        if (!WriteJUnit(options.junit, "pzl-host validate " + options.plugin, properties, cases, error)) {
            std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
            return 2;
        }
    }
    return ok ? 0 : 1;
}

int ListChecks(bool json, std::FILE* out) {
    for (const Check& check : AllChecks()) {
        if (json) {
            rapidjson::StringBuffer buffer;
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            writer.StartObject();
            writer.Key("type");
            writer.String("check");
            writer.Key("check");
            writer.String(check.name);
            writer.Key("description");
            writer.String(check.description);
            writer.Key("random");
            writer.Bool(check.random);
            writer.EndObject();
            std::fprintf(out, "%s\n", buffer.GetString());
        } else {
            std::fprintf(out, "%-26s %s%s\n", check.name, check.description, check.random ? " (seeded)" : "");
        }
    }
    return 0;
}

}  // namespace Kesh::StandIn
