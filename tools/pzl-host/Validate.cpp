#include "tools/pzl-host/Validate.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <chrono>
#include <string_view>
#include <sys/stat.h>

#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/checks/Check.h"

namespace Kesh::StandIn {
namespace {

std::string JsonLine(const char* name, const char* verdict, const std::string& reason, bool random, std::uint64_t seed,
                     const std::string& digest) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    writer.Key("check");
    writer.String(name);
    writer.Key("result");
    writer.String(verdict);
    writer.Key("reason");
    writer.String(reason.c_str(), static_cast<rapidjson::SizeType>(reason.size()));
    if (random) {
        writer.Key("seed");
        writer.Uint64(seed);
    }
    if (!digest.empty()) {
        writer.Key("digest");
        writer.String(digest.c_str(), static_cast<rapidjson::SizeType>(digest.size()));
    }
    writer.EndObject();
    return buffer.GetString();
}

}  // namespace

int ValidatePlugin(const ValidateOptions& options, std::FILE* out) {
    struct stat info {};
    if (stat(options.plugin.c_str(), &info) != 0) {
        std::fprintf(stderr, "pzl-host: cannot open plugin %s: no such file\n", options.plugin.c_str());
        return 2;
    }
    bool known = options.check.empty();
    for (const Check& check : AllChecks()) known = known || options.check == check.name;
    if (!known) {
        std::string list;
        for (const Check& check : AllChecks()) list += std::string(list.empty() ? "" : ", ") + check.name;
        std::fprintf(stderr, "pzl-host: unknown check %s (checks: %s)\n", options.check.c_str(), list.c_str());
        return 2;
    }
    const std::uint64_t seed = ResolveSeed(options.seed);
    int run = 0, passed = 0, failed = 0, skipped = 0, warned = 0;
    for (const Check& check : AllChecks()) {
        if (!options.check.empty() && options.check != check.name) continue;
        CheckContext context{options.plugin, seed};
        context.iterations = options.iterations;
        context.duration = options.duration;
        std::string verdictLine, lastNote, digest;
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
                if (line.starts_with("~")) lastNote = line.substr(1);
                else if (line.starts_with("#")) digest = line.substr(1);
                else verdictLine = line;
            });
        std::string verdict = "FAIL", reason;
        if (outcome.end == IsolatedOutcome::End::Crashed) {
            reason = "the plugin crashed (" + outcome.signalName + ")";
            if (!lastNote.empty()) reason += " in " + lastNote;
        } else if (outcome.end == IsolatedOutcome::End::TimedOut) {
            reason = "no answer within " + std::to_string(static_cast<int>(options.timeout)) + " s";
            if (!lastNote.empty()) reason += " in " + lastNote;
        } else if (verdictLine.size() >= 4) {
            verdict = verdictLine.substr(0, 4);
            reason = verdictLine.size() > 5 ? verdictLine.substr(5) : "";
        } else {
            reason = "the check ended without a verdict (status " + std::to_string(outcome.exitCode) + ")";
        }
        ++run;
        if (verdict == "PASS") ++passed;
        if (verdict == "FAIL") ++failed;
        if (verdict == "SKIP") ++skipped;
        if (verdict == "WARN") ++warned;
        if (options.onlyFailed && verdict != "FAIL") continue;
        if (options.json) {
            std::fprintf(out, "%s\n", JsonLine(check.name, verdict.c_str(), reason, check.random, seed, digest).c_str());
        } else {
            std::fprintf(out, "%s  %-26s %s%s\n", verdict.c_str(), check.name, reason.c_str(),
                         check.random ? (" (seed " + std::to_string(seed) + ")").c_str() : "");
            // The last host calls before a crash or a hang, and what the plugin printed.
            if (verdict == "FAIL") std::fputs(FailureDetails(outcome, "      ").c_str(), out);
        }
        std::fflush(out);
    }
    if (options.json) {
        std::fprintf(out, "{\"run\":%d,\"passed\":%d,\"failed\":%d,\"skipped\":%d,\"warned\":%d}\n", run, passed, failed,
                     skipped, warned);
    } else {
        std::fprintf(out, "%d %s run, %d passed, %d failed, %d skipped, %d warned\n", run, run == 1 ? "check" : "checks", passed,
                     failed, skipped, warned);
    }
    return failed == 0 ? 0 : 1;
}

int ListChecks(bool json, std::FILE* out) {
    for (const Check& check : AllChecks()) {
        if (json) {
            rapidjson::StringBuffer buffer;
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            writer.StartObject();
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
