// pzl-host: a stand-in host that loads a plugin library the way the host does and
// replays scenarios against it, checks its conformance, describes what it registers and
// calls its exposed functions.
#include <CLI/CLI.hpp>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <iterator>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define PZL_ISATTY _isatty
#define PZL_FILENO _fileno
#else
#include <unistd.h>
#define PZL_ISATTY isatty
#define PZL_FILENO fileno
#endif

#include "formats/JsonReader.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/Describe.h"
#include "tools/pzl-host/FunctionCall.h"
#include "tools/pzl-host/Fuzz.h"
#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/PluginSession.h"
#include "tools/pzl-host/Report.h"
#include "tools/pzl-host/Runner.h"
#if PZL_HOST_SERVE
#include "tools/pzl-host/Serve.h"
#endif
#include "tools/pzl-host/Validate.h"
#include "tools/pzl-host/ValueJson.h"

namespace {

using namespace Kesh::StandIn;

#if !PZL_HOST_SERVE
// The options serve would take, so that the command line is the same everywhere.
struct ServeOptions {
    std::string plugin;
    std::string scenario;
    int port = 0;
    std::string token;
};
#endif

struct CallArguments {
    std::string plugin;
    std::string function;
    std::string method;
    std::string url;
    std::vector<std::string> headers;
    std::vector<std::string> arguments;
    std::string bodyFile;
    std::string contentType;
    std::string output;
    bool json = false;
    double timeout = 60.0;
};

// The reply as one JSON line, like every --json output.
std::string ReplyJson(const FunctionReply& reply) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    auto str = [&](const std::string& text) { w.String(text.c_str(), static_cast<rapidjson::SizeType>(text.size())); };
    w.StartObject();
    w.Key("type");
    w.String("function-reply");
    w.Key("toolVersion");
    w.String(ToolVersion());
    w.Key("status");
    w.Uint(reply.status);
    w.Key("error");
    if (reply.error) str(reply.errorText);
    else w.Null();
    w.Key("contentType");
    str(reply.contentType);
    w.Key("headers");
    w.StartArray();
    for (const auto& [name, value] : reply.headers) {
        w.StartObject();
        w.Key("name");
        str(name);
        w.Key("value");
        str(value);
        w.EndObject();
    }
    w.EndArray();
    if (reply.streamed) {
        w.Key("streamedBytes");
        w.Uint64(reply.streamedBytes);
        w.Key("streamFailed");
        w.Bool(reply.streamFailed);
    } else if (!reply.error) {
        w.Key("value");
        const std::string value = ToJson(reply.value);
        w.RawValue(value.c_str(), value.size(), rapidjson::kObjectType);
    }
    w.EndObject();
    return buffer.GetString();
}

// Writes bytes to path; false when the file cannot be written whole.
bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return static_cast<bool>(file);
}

int CallCommand(const CallArguments& options) {
    FunctionCall call;
    call.function = options.function;
    call.method = options.method;
    call.url = options.url;
    for (const std::string& header : options.headers) {
        const std::size_t equals = header.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "pzl-host: a header is NAME=VALUE: %s\n", header.c_str());
            return 2;
        }
        call.headers.emplace_back(header.substr(0, equals), header.substr(equals + 1));
    }
    for (const std::string& argument : options.arguments) {
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos) {
            std::fprintf(stderr, "pzl-host: an argument is NAME=JSON: %s\n", argument.c_str());
            return 2;
        }
        Kesh::ConversionResult value = Kesh::ParseJson(argument.substr(equals + 1));
        if (!value.Ok()) {
            std::fprintf(stderr, "pzl-host: argument %s is not JSON: %s\n", argument.substr(0, equals).c_str(), value.ErrorMessage());
            return 2;
        }
        call.arguments.emplace_back(argument.substr(0, equals), value.Value());
    }
    if (options.bodyFile == "-") {
        // Read by the work itself: a Windows child is a new process that inherits the
        // standard input the parent left unread.
        call.contentType = options.contentType.empty() ? "application/json" : options.contentType;
    } else if (!options.bodyFile.empty()) {
        std::ifstream in(options.bodyFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "pzl-host: cannot open body %s\n", options.bodyFile.c_str());
            return 2;
        }
        call.body.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        call.contentType = options.contentType.empty() ? "application/json" : options.contentType;
    }
    std::string error;
    std::string printed;
    const IsolatedOutcome outcome = RunIsolated(
        "call",
        [&](const Channel& channel) {
            PluginLibrary library;
            if (!library.Open(options.plugin)) {
                channel.Send("E" + library.Error());
                return 2;
            }
            FakeHost host;
            PluginSession session(library, host);
            std::string failure;
            if (!session.Load(failure)) {
                channel.Send("E" + failure);
                return 2;
            }
            if (!session.Init()) {
                channel.Send("Ethe plugin's init answered false");
                return 2;
            }
            const Kesh::ApiFunctionRecord* record = FindFunction(session.Table(), call.function);
            if (record == nullptr) {
                channel.Send("Ethe plugin exposes no function " + call.function);
                return 2;
            }
            if (options.bodyFile == "-") {
                std::ostringstream bytes;
                bytes << std::cin.rdbuf();
                call.body = bytes.str();
            }
            if (!CompleteFromRecord(*record, call, failure)) {
                channel.Send("E" + failure);
                return 2;
            }
            FunctionReply reply;
            const std::size_t keep = options.output.empty() ? 64 : (std::size_t{1} << 30);
            if (!CallFunction(*record, call, host.ClientId(), keep, reply, failure)) {
                channel.Send("E" + failure);
                return 2;
            }
            std::string text;
            if (options.json) {
                text = ReplyJson(reply) + "\n";
            } else {
                text = "status:        " + std::to_string(reply.status) + "\n";
                text += std::string("error:         ") + (reply.error ? "yes \"" + reply.errorText + "\"" : "no") + "\n";
                text += "content type:  " + reply.contentType + "\n";
                for (const auto& [name, value] : reply.headers) text += "header:        " + name + ": " + value + "\n";
                if (reply.streamed) {
                    text += "streamed body: " + std::to_string(reply.streamedBytes) + " bytes" + (reply.streamFailed ? " (read failed)" : "") + "\n";
                    if (options.output.empty()) {
                        char hex[4];
                        text += "first bytes:  ";
                        for (unsigned char byte : reply.body.substr(0, 32)) {
                            std::snprintf(hex, sizeof hex, " %02x", byte);
                            text += hex;
                        }
                        text += "\n";
                    }
                } else if (!reply.error && options.output.empty()) {
                    text += "value:\n" + ToJson(reply.value, 2) + "\n";
                }
            }
            if (!options.output.empty() && (reply.streamed || !reply.error)) {
                const std::string bytes = reply.streamed ? reply.body : ToJson(reply.value, 2) + "\n";
                if (!WriteFile(options.output, bytes)) {
                    channel.Send("Ecannot write " + options.output);
                    return 2;
                }
                if (!options.json) text += "written to:    " + options.output + "\n";
            }
            session.Unload();
            std::size_t start = 0;
            while (start < text.size()) {
                std::size_t end = text.find('\n', start);
                channel.Send("O" + text.substr(start, end - start));
                start = end + 1;
            }
            return reply.error ? 1 : 0;
        },
        options.timeout,
        [&](std::string_view line) {
            if (line.starts_with("E")) error = line.substr(1);
            if (line.starts_with("O")) printed.append(line.substr(1)).append("\n");
        });
    if (!error.empty()) {
        std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
        return 2;
    }
    std::fputs(printed.c_str(), stdout);
    if (outcome.end != IsolatedOutcome::End::Exited) {
        std::fprintf(stderr, "pzl-host: the plugin %s during the call\n",
                     outcome.end == IsolatedOutcome::End::Crashed ? ("crashed (" + outcome.signalName + ")").c_str() : "hung");
        std::fputs(FailureDetails(outcome, "  ").c_str(), stderr);
        return 1;
    }
    return outcome.exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"pzl-host: a stand-in host for plugins of this SDK"};
    app.require_subcommand(1);
    // How the Windows build starts a child for one isolated work (no fork there).
    std::string isolatedChild;
    app.add_option(kIsolatedChildOption, isolatedChild)->group("");

    // Every command that runs the plugin in a child can run it here instead.
    bool inProcess = false;
    const char* inProcessHelp = "Run the plugin in this process: no child, no timeout (for a debugger or a sanitizer)";

    RunOptions run;
    CLI::App* runCommand = app.add_subcommand("run", "Replay a scenario against a plugin and print the timeline");
    runCommand->add_option("PLUGIN", run.plugin, "Plugin library")->required();
    runCommand->add_option("SCENARIO", run.scenario, "Scenario file (YAML)")->required();
    runCommand->add_flag("--json", run.json, "One JSON object per line");
    runCommand->add_flag("--no-timestamps{false}", run.timestamps, "Leave out times, so that two timelines compare with diff");
    runCommand->add_option("--junit", run.junit, "Write a JUnit report (a test case per expectation) to this file");
    runCommand->add_flag("--in-process", inProcess, inProcessHelp);

    ValidateOptions validate;
    std::uint64_t seed = 0;
    CLI::App* validateCommand = app.add_subcommand("validate", "Run the conformance checks, each in its own process");
    validateCommand->add_option("PLUGIN", validate.plugin, "Plugin library")->required();
    validateCommand->add_flag("--only-failed", validate.onlyFailed, "Print only the checks that failed");
    validateCommand->add_flag("--json", validate.json, "One JSON object per line");
    CLI::Option* seedOption = validateCommand->add_option("--seed", seed, "Seed of the random checks");
    validateCommand->add_option("--check", validate.checks, "Run only the checks of this name or glob (repeatable)")
        ->allow_extra_args(false);
    validateCommand->add_option("--skip", validate.skips, "NAME=REASON: report the checks of this name or glob skipped "
                                                          "with the reason (repeatable)")
        ->allow_extra_args(false);
    validateCommand->add_flag("--strict", validate.strict, "A warning fails the run");
    validateCommand->add_option("--junit", validate.junit, "Write a JUnit report to this file");
    validateCommand->add_option("--slow-init", validate.slowInitMs, "Milliseconds of init above which a check warns (100)")
        ->check(CLI::NonNegativeNumber);
    validateCommand->add_option("--slow-reply", validate.slowReplyMs,
                                "Milliseconds of a function's reply above which a check warns (1000)")
        ->check(CLI::NonNegativeNumber);
    validateCommand->add_option("--timeout", validate.timeout, "Seconds each check may take")->check(CLI::PositiveNumber);
    validateCommand->add_option("--iterations", validate.iterations, "Rounds of each random check (default: its own)")
        ->check(CLI::PositiveNumber);
    validateCommand->add_option("--duration", validate.duration, "Seconds of each random check's loops")
        ->check(CLI::PositiveNumber);
    validateCommand->add_flag("--in-process", inProcess, inProcessHelp);

    bool listJson = false;
    CLI::App* listCommand = app.add_subcommand("list-checks", "List validate's checks with a line on each");
    listCommand->add_flag("--json", listJson, "One JSON object per line");

    std::string describePlugin;
    bool describeJson = false;
    CLI::App* describeCommand = app.add_subcommand("describe", "Print the names, types, events and functions a plugin registers");
    describeCommand->add_option("PLUGIN", describePlugin, "Plugin library")->required();
    bool describeOpenApi = false;
    CLI::Option* describeJsonFlag = describeCommand->add_flag("--json", describeJson, "One JSON document");
    describeCommand->add_flag("--openapi", describeOpenApi, "The OpenAPI 3.1 document of the exposed functions")
        ->excludes(describeJsonFlag);
    describeCommand->add_flag("--in-process", inProcess, inProcessHelp);

    CallArguments call;
    CLI::App* callCommand = app.add_subcommand("call", "Call one exposed function as the host would and print the reply");
    callCommand->add_option("PLUGIN", call.plugin, "Plugin library")->required();
    callCommand->add_option("FUNCTION", call.function, "Function name")->required();
    callCommand->add_option("--method", call.method, "HTTP method (default: the function's)");
    callCommand->add_option("--url", call.url, "Request URL (default: the function's URL template, filled from --arg)");
    callCommand->add_option("--header", call.headers, "Header NAME=VALUE");
    callCommand->add_option("--arg", call.arguments, "Argument NAME=JSON (a placeholder, a query parameter or a typed argument)");
    callCommand->add_option("--body", call.bodyFile, "File whose bytes are the request body (- for standard input)");
    callCommand->add_flag("--json", call.json, "The reply as one JSON document");
    callCommand->add_option("--timeout", call.timeout, "Seconds the call may take")->check(CLI::PositiveNumber);
    callCommand->add_option("--content-type", call.contentType, "Content type of the body");
    callCommand->add_option("--output", call.output, "Write the value or streamed body to this file");
    callCommand->add_flag("--in-process", inProcess, inProcessHelp);

    FuzzOptions fuzz;
    std::uint64_t fuzzSeed = 0, reproduce = 0;
    CLI::App* fuzzCommand =
        app.add_subcommand("fuzz", "Send generated and mutated events and calls to a plugin for a while, on several processes");
    fuzzCommand->add_option("PLUGIN", fuzz.plugin, "Plugin library")->required();
    fuzzCommand->add_option("--duration", fuzz.duration, "Seconds to fuzz (default 10)")->check(CLI::PositiveNumber);
    fuzzCommand->add_option("--iterations", fuzz.iterations, "Stop after this many inputs")->check(CLI::PositiveNumber);
    fuzzCommand->add_option("--jobs", fuzz.jobs, "Processes fuzzing at once (default 1)")->check(CLI::Range(1, 256));
    CLI::Option* fuzzSeedOption = fuzzCommand->add_option("--seed", fuzzSeed, "Seed of the run");
    CLI::Option* reproduceOption =
        fuzzCommand->add_option("--reproduce", reproduce, "Replay the input of this input seed in this process");
    fuzzCommand->add_option("--timeout", fuzz.timeout, "Seconds one input may take (default 10)")->check(CLI::PositiveNumber);
    fuzzCommand->add_flag("--in-process", inProcess, inProcessHelp);

    // serve exists where its HTTP library does; elsewhere the command says so.
    ServeOptions serve;
    CLI::App* serveCommand = app.add_subcommand("serve", "Serve the plugin's functions, its host's resources and a page over HTTP on 127.0.0.1");
    serveCommand->add_option("PLUGIN", serve.plugin, "Plugin library")->required();
    serveCommand->add_option("--scenario", serve.scenario, "Start from this scenario's resources and failures");
    serveCommand->add_option("--port", serve.port, "Port on 127.0.0.1 (default: any free one)")->check(CLI::Range(0, 65535));
    serveCommand->add_option("--token", serve.token, "The token every request must carry (default: a random one)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Usage errors exit with 2, --help with 0.
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    }
    if (!isolatedChild.empty() && !EnterIsolatedChild(isolatedChild)) {
        std::fprintf(stderr, "pzl-host: %s is for pzl-host's own use\n", kIsolatedChildOption);
        return 2;
    }
    SetInProcess(inProcess);
    if (runCommand->parsed()) {
        run.color = PZL_ISATTY(PZL_FILENO(stdout)) != 0;
        return RunScenario(run, stdout);
    }
    if (validateCommand->parsed()) {
        if (seedOption->count() > 0) validate.seed = seed;
        return ValidatePlugin(validate, stdout);
    }
    if (listCommand->parsed()) return ListChecks(listJson, stdout);
    if (fuzzCommand->parsed()) {
        if (fuzzSeedOption->count() > 0) fuzz.seed = fuzzSeed;
        if (reproduceOption->count() > 0) fuzz.reproduce = reproduce;
        return FuzzPlugin(fuzz, stdout);
    }
    if (describeCommand->parsed()) {
        const DescribeFormat format =
            describeOpenApi ? DescribeFormat::OpenApi : describeJson ? DescribeFormat::Json : DescribeFormat::Text;
        return DescribePlugin(describePlugin, format, stdout);
    }
    if (callCommand->parsed()) return CallCommand(call);
    if (serveCommand->parsed()) {
#if PZL_HOST_SERVE
        return ServeCommand(serve, stdout);
#else
        std::fprintf(stderr, "pzl-host: serve is not built into this pzl-host (it needs the HTTP library of a 64-bit Linux build)\n");
        return 2;
#endif
    }
    return 2;
}
