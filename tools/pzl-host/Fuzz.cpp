#include "tools/pzl-host/Fuzz.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "binding/TypeKind.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/FunctionCall.h"
#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/PluginLibrary.h"
#include "tools/pzl-host/PluginSession.h"
#include "tools/pzl-host/RequestBuilder.h"
#include "tools/pzl-host/SafeMemory.h"
#include "tools/pzl-host/ValueJson.h"
#include "tools/pzl-host/checks/Check.h"

namespace Kesh::StandIn {
namespace {

constexpr std::size_t kMaxSteps = 8;

// Texts that break careless parsers and formatters, beside the plugin's own words.
const char* const kHostileWords[] = {"", "null", "%s%s%n", "../..", "-1", "1e999", "\xc3\xbf", "*", "/", "a/b"};

// Draws from the engine's raw output only: the distributions of the standard library
// differ between implementations, which would give one seed different inputs on Linux
// and on Windows.
class Draw {
public:
    explicit Draw(std::uint64_t seed) : engine_(seed) {}
    std::uint64_t Next() { return engine_(); }
    std::size_t Pick(std::size_t count) { return count == 0 ? 0 : static_cast<std::size_t>(engine_() % count); }
    bool OneIn(std::size_t count) { return Pick(count) == 0; }
    std::mt19937_64& Engine() { return engine_; }

private:
    std::mt19937_64 engine_;
};

class ValueMaker {
public:
    ValueMaker(Draw& draw, const std::vector<std::string>& words) : draw_(draw), words_(words) {}

    std::string Word() {
        if (!words_.empty() && !draw_.OneIn(4)) return words_[draw_.Pick(words_.size())];
        if (draw_.OneIn(16)) return std::string(1024 + draw_.Pick(4096), 'A');
        return kHostileWords[draw_.Pick(std::size(kHostileWords))];
    }

    BindingProperty Value(int depth) {
        BindingProperty value;
        switch (draw_.Pick(depth >= 4 ? 7 : 9)) {
        case 0: break;
        case 1: value = draw_.OneIn(2); break;
        case 2: {
            const std::int64_t edges[] = {0, -1, 1, std::numeric_limits<std::int32_t>::min(),
                                          std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1,
                                          std::numeric_limits<std::int64_t>::min(), 255, -129};
            value.AssignSigned(draw_.OneIn(2) ? edges[draw_.Pick(std::size(edges))]
                                              : static_cast<std::int64_t>(draw_.Next() % 2001) - 1000);
            break;
        }
        case 3: {
            const std::uint64_t edges[] = {0, 256, 65536, std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1,
                                           std::numeric_limits<std::uint64_t>::max()};
            value.AssignUnsigned(draw_.OneIn(2) ? edges[draw_.Pick(std::size(edges))] : draw_.Next() % 1000);
            break;
        }
        case 4: {
            const double special[] = {0.0, -0.0, 1.5, -1e308, 1e-308, std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(), 0.1};
            value = special[draw_.Pick(std::size(special))];
            break;
        }
        case 5: value = Word(); break;
        case 6: {
            std::vector<std::uint8_t> bytes(draw_.Pick(24));
            for (std::uint8_t& byte : bytes) byte = static_cast<std::uint8_t>(draw_.Next());
            value.AssignBlob(std::move(bytes));
            break;
        }
        case 7:
            value.MakeCollection();
            for (std::size_t i = draw_.Pick(5); i > 0; --i) value.Append() = Value(depth + 1);
            break;
        default:
            value.MakeStructure();
            for (std::size_t i = draw_.Pick(6); i > 0; --i) value[Word()] = Value(depth + 1);
            break;
        }
        return value;
    }

    // The same value with one part changed: a member removed or given a value of
    // another kind, an element added, or the whole of another kind.
    BindingProperty Mutate(BindingProperty value) {
        if (value.Kind() == PropertyKind::Structure && value.Size() > 0 && !draw_.OneIn(4)) {
            std::vector<std::string> keys;
            for (const auto& member : value.Members()) keys.emplace_back(member.KeyView());
            const std::string key = keys[draw_.Pick(keys.size())];
            BindingProperty changed;
            changed.MakeStructure();
            const bool drop = draw_.OneIn(2);
            for (const auto& member : value.Members()) {
                if (member.KeyView() != key) changed[std::string(member.KeyView())] = member.Value();
                else if (!drop) changed[key] = Value(2);
            }
            return changed;
        }
        if (value.Kind() == PropertyKind::Collection && !draw_.OneIn(3)) {
            value.Append() = Value(2);
            return value;
        }
        return Value(1);
    }

private:
    Draw& draw_;
    const std::vector<std::string>& words_;
};

std::string UriFor(Draw& draw, ValueMaker& maker, const std::string& path) {
    switch (draw.Pick(12)) {
    case 0: return path.size() > 1 && path[0] == '/' ? path.substr(1) : path;
    case 1: return path + "/" + maker.Word();
    case 2: return maker.Word();
    case 3: return path + "?x=1";
    default: return path;
    }
}

FuzzStep MakeEvent(Draw& draw, ValueMaker& maker, const FuzzTarget& target) {
    FuzzStep step;
    const auto& [event, path] = target.events[draw.Pick(target.events.size())];
    step.event = event;
    if (draw.OneIn(10) || !event.starts_with("OnJsonApiEvent")) {
        // Not a resource event: a record of the plugin's own words, or anything at all.
        step.payload = maker.Value(0);
        if (draw.OneIn(4)) return step;
        step.payload.MakeStructure();
        for (std::size_t i = 1 + draw.Pick(6); i > 0; --i) step.payload[maker.Word()] = maker.Value(2);
        return step;
    }
    static const char* const kTypes[] = {"Create", "Update", "Delete"};
    step.payload.MakeStructure();
    step.payload["uri"] = UriFor(draw, maker, path);
    if (draw.OneIn(8)) step.payload["eventType"] = maker.Value(3);
    else step.payload["eventType"] = kTypes[draw.Pick(3)];
    BindingProperty data = maker.Value(draw.OneIn(3) ? 3 : 0);
    if (draw.OneIn(2)) data = maker.Mutate(std::move(data));
    step.payload["data"] = std::move(data);
    return step;
}

// A valid call changed in one way a client gets a request wrong.
void MutateCall(Draw& draw, ValueMaker& maker, FuzzStep& step) {
    FunctionCall& call = step.request;
    switch (draw.Pick(9)) {
    case 0:
        if (call.arguments.empty()) break;
        step.mutation = "an argument left out";
        call.arguments.erase(call.arguments.begin() + static_cast<std::ptrdiff_t>(draw.Pick(call.arguments.size())));
        return;
    case 1:
        if (call.arguments.empty()) break;
        step.mutation = "an argument of another kind";
        call.arguments[draw.Pick(call.arguments.size())].second = maker.Value(0);
        return;
    case 2:
        if (call.arguments.empty()) break;
        step.mutation = "an argument out of range";
        call.arguments[draw.Pick(call.arguments.size())].second.AssignUnsigned(
            draw.OneIn(2) ? std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1 : std::numeric_limits<std::uint64_t>::max());
        return;
    case 3: {
        static const char* const kMethods[] = {"GET", "PUT", "POST", "DELETE", "PATCH", "BREW"};
        step.mutation = "another method";
        call.method = kMethods[draw.Pick(std::size(kMethods))];
        return;
    }
    case 4: {
        static const char* const kTails[] = {"/extra", "%zz", "%", "?=&&a=%", "//", "/.."};
        step.mutation = "a broken URL";
        call.url += kTails[draw.Pick(std::size(kTails))];
        return;
    }
    case 5: {
        static const char* const kTypes[] = {"application/json", "application/x-msgpack", "application/x-yaml", "text/x-nothing"};
        step.mutation = "a body that does not parse";
        call.contentType = kTypes[draw.Pick(std::size(kTypes))];
        call.body.clear();
        for (std::size_t i = draw.Pick(40); i > 0; --i) call.body += static_cast<char>(draw.Next());
        return;
    }
    case 6: {
        step.mutation = "a JSON body cut short";
        BindingProperty arguments;
        arguments.MakeStructure();
        for (const auto& [name, value] : call.arguments) arguments[name] = value;
        call.arguments.clear();
        call.contentType = "application/json";
        call.body = ToJson(arguments);
        call.body.resize(call.body.size() / 2);
        return;
    }
    case 7:
        step.mutation = "an unknown argument";
        call.arguments.emplace_back(maker.Word(), maker.Value(1));
        return;
    default: break;
    }
}

// Text as a JSON string, every byte outside printable ASCII escaped (a body is bytes,
// not necessarily UTF-8).
std::string JsonBytes(std::string_view bytes) {
    std::string text = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            text += escaped;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text + "\"";
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

// The checks after an input, with the plugin unloaded: every host call accepted, every
// reply and stream the host handed out released, no subscription left behind.
std::string HostRecordFault(const FakeHost& host) {
    if (!host.Faults().empty()) return "host fault: " + host.Faults()[0];
    if (host.OutstandingReplies() != 0) return std::to_string(host.OutstandingReplies()) + " replies never released";
    if (host.OpenStreams() != 0) return std::to_string(host.OpenStreams()) + " reply streams left open";
    if (!host.ActiveSubscriptions().empty())
        return "unload left the subscription of " + host.ActiveSubscriptions()[0].eventName + " active";
    return "";
}

}  // namespace

std::uint64_t IterationSeed(std::uint64_t seed, std::uint64_t iteration) {
    // SplitMix64 of the pair: neighbouring iterations get unrelated seeds.
    std::uint64_t value = seed * 0x9E3779B97F4A7C15ull + iteration + 0x632BE59BD9B4E019ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

FuzzTarget ReadFuzzTarget(const FakeHost& host, const ApiTable* table) {
    FuzzTarget target;
    const std::map<std::string, std::string> paths = WatchedPaths(host);
    std::set<std::string> seen;
    for (const RecordedSubscription& subscription : host.ActiveSubscriptions()) {
        if (!seen.insert(subscription.eventName).second) continue;
        auto found = paths.find(subscription.eventName);
        target.events.emplace_back(subscription.eventName, found != paths.end() ? found->second : "/" + subscription.eventName);
    }
    std::set<std::string> words;
    for (const auto& [event, path] : paths) {
        std::size_t start = 0;
        while (start < path.size()) {
            std::size_t end = path.find('/', start);
            if (end == std::string::npos) end = path.size();
            if (end > start) words.insert(path.substr(start, end - start));
            start = end + 1;
        }
    }
    if (table != nullptr && Readable(table, sizeof(ApiTable))) {
        target.table = table;
        if (table->types != nullptr && Readable(table->types, sizeof(TypeDescriptionRecord) * table->typeCount)) {
            for (std::uint32_t i = 0; i < table->typeCount; ++i) {
                const TypeDescriptionRecord& type = table->types[i];
                if (type.fields != nullptr && Readable(type.fields, sizeof(FieldDescriptionRecord) * type.memberCount)) {
                    for (std::uint32_t f = 0; f < type.memberCount; ++f) words.insert(ReadText(type.fields[f].name).value_or(""));
                } else if (type.enumerators != nullptr &&
                           Readable(type.enumerators, sizeof(EnumeratorDescriptionRecord) * type.memberCount)) {
                    for (std::uint32_t e = 0; e < type.memberCount; ++e)
                        words.insert(ReadText(type.enumerators[e].name).value_or(""));
                }
            }
        }
    }
    // A set: sorted, so the order does not depend on the platform.
    target.words.assign(words.begin(), words.end());
    return target;
}

FuzzInput MakeFuzzInput(const FuzzTarget& target, std::uint64_t seed) {
    FuzzInput input;
    input.seed = seed;
    Draw draw(seed);
    ValueMaker maker(draw, target.words);
    const std::uint32_t functions = target.table != nullptr ? target.table->functionCount : 0;
    if (target.events.empty() && functions == 0) return input;
    for (std::size_t steps = 1 + draw.Pick(kMaxSteps); steps > 0; --steps) {
        const bool call = functions > 0 && (target.events.empty() || draw.OneIn(2));
        if (!call) {
            input.steps.push_back(MakeEvent(draw, maker, target));
            continue;
        }
        FuzzStep step;
        step.call = true;
        step.function = static_cast<std::uint32_t>(draw.Pick(functions));
        const ApiFunctionRecord& record = target.table->functions[step.function];
        std::string error;
        if (!BuildValidCall(*target.table, record, draw.OneIn(2), draw.Engine(), step.request, error)) {
            // The function cannot be described (api-table's finding): called by name.
            step.request = FunctionCall{};
            step.request.function = ReadText(record.name).value_or("");
            step.request.method = "POST";
        }
        if (!draw.OneIn(3)) MutateCall(draw, maker, step);
        input.steps.push_back(std::move(step));
    }
    return input;
}

std::string FuzzInputJson(const FuzzInput& input) {
    std::string json = "{\"seed\":" + std::to_string(input.seed) + ",\"steps\":[";
    for (std::size_t i = 0; i < input.steps.size(); ++i) {
        const FuzzStep& step = input.steps[i];
        if (i > 0) json += ",";
        if (!step.call) {
            json += "{\"event\":" + JsonBytes(step.event) + ",\"payload\":" + ToJson(step.payload) + "}";
            continue;
        }
        const FunctionCall& call = step.request;
        json += "{\"call\":" + JsonBytes(call.function);
        if (!step.mutation.empty()) json += ",\"mutation\":" + JsonBytes(step.mutation);
        json += ",\"method\":" + JsonBytes(call.method) + ",\"url\":" + JsonBytes(call.url);
        if (!call.arguments.empty()) {
            BindingProperty arguments;
            arguments.MakeStructure();
            for (const auto& [name, value] : call.arguments) arguments[name] = value;
            json += ",\"arguments\":" + ToJson(arguments);
        }
        if (!call.contentType.empty() || !call.body.empty())
            json += ",\"contentType\":" + JsonBytes(call.contentType) + ",\"body\":" + JsonBytes(call.body);
        json += "}";
    }
    return json + "]}";
}

std::uint64_t FuzzInputDigest(const std::string& json) {
    std::uint64_t digest = 0xCBF29CE484222325ull;
    for (unsigned char byte : json) digest = (digest ^ byte) * 0x100000001B3ull;
    return digest;
}

bool RunFuzzInput(const PluginLibrary& library, std::uint64_t seed,
                  const std::function<void(const std::string& json)>& before, std::string& failure) {
    FakeHost host;
    PluginSession session(library, host);
    if (!session.Load(failure)) return false;
    if (!session.Init()) {
        failure = "init answered false";
        return false;
    }
    const FuzzInput input = MakeFuzzInput(ReadFuzzTarget(host, session.Table()), seed);
    JournalCall("(input " + std::to_string(seed) + ")");
    before(FuzzInputJson(input));
    const ApiTable* table = session.Table();
    for (std::size_t i = 0; i < input.steps.size(); ++i) {
        const FuzzStep& step = input.steps[i];
        const std::string at = "step " + std::to_string(i + 1) + " of " + std::to_string(input.steps.size());
        if (!step.call) {
            host.Deliver(step.event, step.payload);
            continue;
        }
        const ApiFunctionRecord& record = table->functions[step.function];
        if (record.handler == nullptr) continue;
        // Calls into the plugin are not host calls: the journal shows them beside those.
        JournalCall("call " + RequestText(step.request).substr(0, 200));
        FunctionReply reply;
        std::string error;
        if (!CallFunction(record, step.request, host.ClientId(), 4096, reply, error)) continue;
        if (reply.error && reply.errorText.empty()) {
            failure = at + ": " + step.request.function + " answered an error reply without text";
            return false;
        }
    }
    session.Unload();
    failure = HostRecordFault(host);
    return failure.empty();
}

int FuzzPlugin(const FuzzOptions& options, std::FILE* out) {
    if (options.reproduce) {
        // In this process, so that a debugger or a sanitizer sees the crash.
        PluginLibrary library;
        if (!library.Open(options.plugin)) {
            std::fprintf(stderr, "pzl-host: %s\n", library.Error().c_str());
            return 2;
        }
        std::string failure;
        const bool held = RunFuzzInput(
            library, *options.reproduce,
            [&](const std::string& json) {
                std::fprintf(out, "input: %s\ninput digest %016llx\n", json.c_str(),
                             static_cast<unsigned long long>(FuzzInputDigest(json)));
                std::fflush(out);
            },
            failure);
        if (!held) {
            std::fprintf(out, "FAIL  %s\n", failure.c_str());
            return 1;
        }
        std::fprintf(out, "PASS  the input ran without a crash or a failed check\n");
        return 0;
    }

    const std::uint64_t seed = ResolveSeed(options.seed);
    const unsigned jobs = options.jobs == 0 ? 1 : options.jobs;
    struct Job {
        std::uint64_t iteration = 0;
        std::uint64_t inputSeed = 0;
        bool started = false;
        std::string input;
        std::string failure;
        std::string error;
        std::uint64_t done = 0;
        IsolatedOutcome outcome;
    };
    std::vector<Job> states(jobs);
    std::mutex mutex;
    std::atomic<bool> stop{false};
    // The job that failed first: the one reported.
    std::optional<unsigned> first;
    const auto start = std::chrono::steady_clock::now();
    auto runJob = [&](unsigned job) {
        Job& state = states[job];
        const IsolatedOutcome outcome = RunIsolated(
            "fuzz-" + std::to_string(job),
            [&](const Channel& channel) {
                PluginLibrary library;
                if (!library.Open(options.plugin)) {
                    channel.Send("E" + library.Error());
                    return 2;
                }
                const auto begun = std::chrono::steady_clock::now();
                std::uint64_t done = 0;
                for (std::uint64_t iteration = job;; iteration += jobs) {
                    if (options.iterations != 0 && iteration >= options.iterations) break;
                    if (options.duration > 0 && done > 0 &&
                        std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count() >= options.duration)
                        break;
                    const std::uint64_t inputSeed = IterationSeed(seed, iteration);
                    std::string failure;
                    const bool held = RunFuzzInput(
                        library, inputSeed,
                        [&](const std::string& json) {
                            channel.Send("I" + std::to_string(iteration) + " " + std::to_string(inputSeed) + " " + json);
                        },
                        failure);
                    if (!held) {
                        channel.Send("F" + failure);
                        return 1;
                    }
                    ++done;
                }
                channel.Send("D" + std::to_string(done));
                return 0;
            },
            options.timeout,
            [&](std::string_view line) {
                std::lock_guard<std::mutex> guard(mutex);
                const std::string_view rest = line.substr(1);
                switch (line.empty() ? ' ' : line[0]) {
                case 'I': {
                    const std::size_t space = rest.find(' ');
                    const std::size_t second = rest.find(' ', space + 1);
                    state.iteration = std::stoull(std::string(rest.substr(0, space)));
                    state.inputSeed = std::stoull(std::string(rest.substr(space + 1, second - space - 1)));
                    state.input = rest.substr(second + 1);
                    state.started = true;
                    ++state.done;
                    break;
                }
                case 'F': state.failure = rest; break;
                case 'E': state.error = rest; break;
                default: break;
                }
            },
            &stop);
        std::lock_guard<std::mutex> guard(mutex);
        state.outcome = outcome;
        const bool failed = !state.error.empty() || !state.failure.empty() ||
                            outcome.end == IsolatedOutcome::End::Crashed || outcome.end == IsolatedOutcome::End::TimedOut ||
                            (outcome.end == IsolatedOutcome::End::Exited && outcome.exitCode != 0);
        if (failed && !first) {
            first = job;
            stop.store(true);
        }
    };
    if (jobs == 1 || InProcess()) {
        for (unsigned job = 0; job < jobs && !stop.load(); ++job) runJob(job);
    } else {
        std::vector<std::thread> threads;
        for (unsigned job = 0; job < jobs; ++job) threads.emplace_back(runJob, job);
        for (std::thread& thread : threads) thread.join();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::uint64_t iterations = 0;
    for (const Job& state : states) iterations += state.done;

    if (!first) {
        std::fprintf(out, "PASS  fuzz: %llu iteration%s on %u process%s in %s s, no crash, hang or failed check (seed %llu)\n",
                     static_cast<unsigned long long>(iterations), iterations == 1 ? "" : "s", jobs, jobs == 1 ? "" : "es",
                     Seconds(seconds).c_str(), static_cast<unsigned long long>(seed));
        return 0;
    }
    const Job& failed = states[*first];
    if (!failed.error.empty()) {
        std::fprintf(stderr, "pzl-host: %s\n", failed.error.c_str());
        return 2;
    }
    std::string what;
    if (failed.outcome.end == IsolatedOutcome::End::Crashed) what = "the plugin crashed (" + CrashText(failed.outcome) + ")";
    else if (failed.outcome.end == IsolatedOutcome::End::TimedOut)
        what = "the plugin hung: no progress for " + Seconds(options.timeout) + " s";
    else if (!failed.failure.empty()) what = failed.failure;
    else what = "the fuzzing process ended with status " + std::to_string(failed.outcome.exitCode);
    std::fprintf(out, "FAIL  fuzz: %s", what.c_str());
    if (failed.started) {
        std::fprintf(out, " in iteration %llu, after %llu iterations on %u process%s (seed %llu)\n",
                     static_cast<unsigned long long>(failed.iteration), static_cast<unsigned long long>(iterations), jobs,
                     jobs == 1 ? "" : "es", static_cast<unsigned long long>(seed));
        std::fprintf(out, "      input seed %llu: pzl-host fuzz %s --reproduce %llu\n",
                     static_cast<unsigned long long>(failed.inputSeed), options.plugin.c_str(),
                     static_cast<unsigned long long>(failed.inputSeed));
        std::fprintf(out, "      input: %s\n", failed.input.c_str());
    } else {
        std::fprintf(out, " before the first input (seed %llu)\n", static_cast<unsigned long long>(seed));
    }
    std::fputs(FailureDetails(failed.outcome, "      ").c_str(), out);
    return 1;
}

}  // namespace Kesh::StandIn
