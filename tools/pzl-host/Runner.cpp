#include "tools/pzl-host/Runner.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include "formats/JsonReader.h"
#include "runtime/HttpMethod.h"
#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/FunctionCall.h"
#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/PluginSession.h"
#include "tools/pzl-host/Report.h"
#include "tools/pzl-host/Scenario.h"
#include "tools/pzl-host/ValueJson.h"

namespace Kesh::StandIn {
namespace {

// Events a step may cause, through the host's store, before it counts as a loop.
constexpr std::size_t kMaxEventsPerStep = 1000;

// Whether timeline entries carry their time; set once for the replay.
bool stampLines = true;

// What the replay sends while it waits, so that the wait is not taken for a hang.
constexpr std::string_view kAlive = "";

// One timeline entry as a JSON object, built member by member.
class Line {
public:
    Line(const char* type, double milliseconds) : writer_(buffer_) {
        writer_.StartObject();
        if (stampLines) {
            Key("t");
            writer_.Double(static_cast<double>(static_cast<long long>(milliseconds * 1000.0)) / 1000.0);
        }
        Key("type");
        writer_.String(type);
    }
    Line& Text(const char* key, std::string_view text) {
        Key(key);
        writer_.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
        return *this;
    }
    Line& Number(const char* key, double number) {
        Key(key);
        writer_.Double(number);
        return *this;
    }
    Line& Integer(const char* key, long long number) {
        Key(key);
        writer_.Int64(number);
        return *this;
    }
    Line& Flag(const char* key, bool flag) {
        Key(key);
        writer_.Bool(flag);
        return *this;
    }
    Line& Value(const char* key, const BindingProperty& value) {
        Key(key);
        const std::string json = ToJson(value);
        writer_.RawValue(json.data(), json.size(), rapidjson::kObjectType);
        return *this;
    }
    Line& Texts(const char* key, const std::vector<std::string>& texts) {
        Key(key);
        writer_.StartArray();
        for (const std::string& text : texts) writer_.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
        writer_.EndArray();
        return *this;
    }
    Line& Mark(const SourceMark& mark) {
        Integer("line", mark.line);
        return Integer("column", mark.column);
    }
    std::string Done() {
        writer_.EndObject();
        return std::string(buffer_.GetString(), buffer_.GetSize());
    }

private:
    void Key(const char* key) { writer_.Key(key); }
    rapidjson::StringBuffer buffer_;
    rapidjson::Writer<rapidjson::StringBuffer> writer_;
};

std::string Describe(const std::string& method, const std::string& path, const BindingProperty& body) {
    std::string text = method + " " + path;
    if (!body.IsEmpty()) text += " " + ToJson(body);
    return text;
}

std::string LogText(const std::string& message) {
    const std::size_t cut = message.rfind("| ");
    return cut == std::string::npos ? message : message.substr(cut + 2);
}

// The scenario replayed in the child: everything it sees goes out as JSON lines.
class Replay {
public:
    Replay(const Scenario& scenario, const Channel& channel) : scenario_(scenario), channel_(channel) {}

    int Run(const std::string& pluginPath) {
        PluginLibrary library;
        if (!library.Open(pluginPath)) return Error(library.Error());
        host_.SetLiveStore(true);
        for (const auto& [path, value] : scenario_.resources) host_.SetResource(path, value);
        for (const PathFailure& failure : scenario_.failures) ApplyFailure(failure, true);
        PluginSession session(library, host_);
        std::string error;
        if (!session.Load(error)) return Error(error);
        session_ = &session;

        Send(Line("step", Now()).Integer("index", 0).Text("kind", "init").Done());
        const bool initialised = session.Init();
        if (!initialised) Failure("init", "the plugin's init answered false");
        Settle();
        std::size_t windowStart = 0;
        for (std::size_t i = 0; i < scenario_.steps.size(); ++i) {
            const ScenarioStep& step = scenario_.steps[i];
            if (step.kind != ScenarioStep::Kind::Expect) windowStart = host_.Calls().size();
            AnnounceStep(i + 1, step);
            Perform(step);
            Settle();
            if (step.kind == ScenarioStep::Kind::Expect) Check(step, windowStart);
        }
        if (session.Loaded()) {
            Send(Line("step", Now()).Integer("index", static_cast<long long>(scenario_.steps.size() + 1))
                     .Text("kind", "unload").Done());
            session.Unload();
            Flush();
        }
        session_ = nullptr;
        Send(Line("summary", Now()).Integer("expectations", checked_).Integer("failed", failed_).Done());
        return failed_ == 0 ? 0 : 1;
    }

private:
    // One clock for the whole timeline: the host's.
    double Now() const { return static_cast<double>(host_.Elapsed()) / 1e6; }
    void Send(const std::string& line) const { channel_.Send(line); }
    int Error(const std::string& text) {
        Send(Line("error", Now()).Text("text", text).Done());
        return 2;
    }
    void Failure(const char* what, const std::string& text) {
        ++failed_;
        Send(Line("failure", Now()).Text("what", what).Text("text", text).Done());
    }

    void ApplyFailure(const PathFailure& failure, bool on) {
        for (std::uint32_t number = 1; number <= 7; ++number) {
            const auto method = static_cast<HttpMethod>(number);
            if (!failure.method.empty() && failure.method != HttpMethodName(method)) continue;
            if (on) {
                host_.ReplyWithError(method, failure.path, failure.message, failure.status);
            } else {
                host_.RemoveReply(method, failure.path);
            }
        }
    }

    void AnnounceStep(std::size_t index, const ScenarioStep& step) {
        Line line("step", Now());
        line.Integer("index", static_cast<long long>(index)).Text("kind", StepKindName(step.kind)).Mark(step.mark);
        switch (step.kind) {
        case ScenarioStep::Kind::Set: line.Text("path", step.path).Value("value", step.value); break;
        case ScenarioStep::Kind::Delete: line.Text("path", step.path); break;
        case ScenarioStep::Kind::Wait: line.Integer("milliseconds", step.milliseconds); break;
        case ScenarioStep::Kind::Fail:
            line.Text("method", step.failure.method).Text("path", step.failure.path)
                .Integer("status", step.failure.status).Text("message", step.failure.message);
            break;
        case ScenarioStep::Kind::Recover: line.Text("method", step.failure.method).Text("path", step.failure.path); break;
        case ScenarioStep::Kind::Call: line.Text("function", step.call.function); break;
        default: break;
        }
        Send(line.Done());
    }

    void Perform(const ScenarioStep& step) {
        switch (step.kind) {
        case ScenarioStep::Kind::Set: {
            const bool existed = host_.HasResource(step.path);
            host_.SetResource(step.path, step.value);
            const std::string type = !step.eventType.empty() ? step.eventType : (existed ? "Update" : "Create");
            host_.DeliverResourceEvent(step.path, type, step.value);
            break;
        }
        case ScenarioStep::Kind::Delete:
            host_.RemoveResource(step.path);
            host_.DeliverResourceEvent(step.path, "Delete", BindingProperty());
            break;
        case ScenarioStep::Kind::Wait: {
            Flush();
            // In slices with a sign of life after each: a wait longer than the step
            // timeout is the scenario's own, not a plugin that hangs.
            const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.milliseconds);
            const auto slice = std::max<std::chrono::steady_clock::duration>(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(scenario_.stepTimeout / 4)),
                std::chrono::milliseconds(1));
            for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now()) {
                std::this_thread::sleep_for(std::min(slice, end - now));
                channel_.Send(kAlive);
            }
            break;
        }
        case ScenarioStep::Kind::Fail: ApplyFailure(step.failure, true); break;
        case ScenarioStep::Kind::Recover: ApplyFailure(step.failure, false); break;
        case ScenarioStep::Kind::Unload:
            if (session_ != nullptr) session_->Unload();
            break;
        case ScenarioStep::Kind::Call: CallStep(step); break;
        case ScenarioStep::Kind::Expect: break;
        }
    }

    void CallStep(const ScenarioStep& step) {
        FunctionCall call = step.call;
        const ApiFunctionRecord* record = session_ != nullptr && session_->Loaded() ? FindFunction(session_->Table(), call.function) : nullptr;
        if (record == nullptr) {
            Failure("call", "the plugin exposes no function " + call.function);
            return;
        }
        FunctionReply reply;
        std::string error;
        // The request the host would send, as pzl-host call builds it.
        if (!CompleteFromRecord(*record, call, error)) {
            Failure("call", error);
            return;
        }
        if (!CallFunction(*record, call, host_.ClientId(), 256, reply, error)) {
            Failure("call", error);
            return;
        }
        Line line("reply", Now());
        line.Text("function", call.function).Integer("status", reply.status).Flag("error", reply.error);
        if (reply.error) line.Text("errorText", reply.errorText);
        if (reply.streamed) {
            line.Integer("streamedBytes", static_cast<long long>(reply.streamedBytes));
        } else {
            line.Value("value", reply.value);
        }
        Send(line.Done());
        if (call.status) Expectation("status", step.mark, reply.status == *call.status,
                                     {std::to_string(*call.status)}, {std::to_string(reply.status)});
        if (call.value) Expectation("value", step.mark, !reply.error && ValuesEqual(reply.value, *call.value),
                                    {ToJson(*call.value)}, {reply.error ? "error: " + reply.errorText : ToJson(reply.value)});
        if (call.error) Expectation("error", step.mark, reply.error && MatchesPattern(reply.errorText, *call.error),
                                    {*call.error}, {reply.error ? reply.errorText : "no error"});
    }

    void Expectation(const char* what, const SourceMark& mark, bool held, const std::vector<std::string>& expected,
                     const std::vector<std::string>& actual) {
        ++checked_;
        if (!held) ++failed_;
        Line line("expect", Now());
        line.Text("what", what).Flag("held", held).Mark(mark).Texts("expected", expected).Texts("actual", actual);
        Send(line.Done());
    }

    void Check(const ScenarioStep& step, std::size_t windowStart) {
        std::vector<const RecordedRequest*> requests;
        std::vector<const LogLine*> logs;
        const auto& calls = host_.Calls();
        for (std::size_t i = windowStart; i < calls.size(); ++i) {
            if (calls[i].kind == HostCallKind::Request) requests.push_back(&host_.Requests()[calls[i].index]);
            if (calls[i].kind == HostCallKind::Log) logs.push_back(&host_.LogLines()[calls[i].index]);
        }
        if (step.requests) CheckRequests(step, requests);
        if (step.logs) CheckLogs(step, logs);
        for (const ExpectedResource& resource : step.resources) {
            const bool has = host_.HasResource(resource.path);
            const bool held = resource.value ? has && ValuesEqual(host_.Store(resource.path), *resource.value) : !has;
            Expectation("resource", resource.mark, held,
                        {resource.path + " = " + (resource.value ? ToJson(*resource.value) : "absent")},
                        {resource.path + " = " + (has ? ToJson(host_.Store(resource.path)) : "absent")});
        }
    }

    static bool Matches(const ExpectedRequest& expected, const RecordedRequest& actual) {
        return expected.method == HttpMethodName(actual.Method()) && expected.path == actual.url &&
               (!expected.body || ValuesEqual(*expected.body, actual.Body()));
    }

    void CheckRequests(const ScenarioStep& step, const std::vector<const RecordedRequest*>& actual) {
        const std::vector<ExpectedRequest>& expected = *step.requests;
        bool held = expected.size() == actual.size();
        if (held && !step.requestsAsSet) {
            for (std::size_t i = 0; i < expected.size() && held; ++i) held = Matches(expected[i], *actual[i]);
        } else if (held) {
            std::vector<bool> used(actual.size(), false);
            for (const ExpectedRequest& one : expected) {
                bool found = false;
                for (std::size_t i = 0; i < actual.size() && !found; ++i) {
                    if (!used[i] && Matches(one, *actual[i])) used[i] = found = true;
                }
                held = held && found;
            }
        }
        std::vector<std::string> expectedTexts, actualTexts;
        for (const ExpectedRequest& one : expected)
            expectedTexts.push_back(Describe(one.method, one.path, one.body ? *one.body : BindingProperty()));
        for (const RecordedRequest* one : actual)
            actualTexts.push_back(Describe(HttpMethodName(one->Method()), one->url, one->Body()));
        Expectation(step.requestsAsSet ? "requests-as-set" : "requests", step.requestsMark, held, expectedTexts, actualTexts);
    }

    void CheckLogs(const ScenarioStep& step, const std::vector<const LogLine*>& actual) {
        const std::vector<ExpectedLog>& expected = *step.logs;
        bool held = true;
        if (expected.empty()) {
            held = actual.empty();
        } else {
            // In order, other lines allowed between them.
            std::size_t next = 0;
            for (const ExpectedLog& one : expected) {
                while (next < actual.size() &&
                       !((!one.level || *one.level == actual[next]->level) &&
                         MatchesPattern(LogText(actual[next]->message), one.pattern)))
                    ++next;
                if (next == actual.size()) {
                    held = false;
                    break;
                }
                ++next;
            }
        }
        std::vector<std::string> expectedTexts, actualTexts;
        for (const ExpectedLog& one : expected)
            expectedTexts.push_back((one.level ? std::to_string(*one.level) + " " : std::string("* ")) + one.pattern);
        for (const LogLine* one : actual) actualTexts.push_back(std::to_string(one->level) + " " + LogText(one->message));
        Expectation("logs", step.logsMark, held, expectedTexts, actualTexts);
    }

    // Hands out the events the step caused through the store, then reports every call.
    void Settle() {
        const std::size_t delivered = host_.DeliverPending(kMaxEventsPerStep);
        if (delivered == kMaxEventsPerStep && host_.PendingEventCount() > 0)
            Failure("events", "the plugin and the host's store kept raising events (" +
                                  std::to_string(kMaxEventsPerStep) + " in one step)");
        Flush();
    }

    void Flush() {
        const auto& calls = host_.Calls();
        for (; emitted_ < calls.size(); ++emitted_) {
            const HostCall& call = calls[emitted_];
            const double at = static_cast<double>(call.nanoseconds) / 1e6;
            std::string text;
            switch (call.kind) {
            case HostCallKind::Subscribe:
                text = Line("subscribe", at).Text("event", host_.Subscriptions()[call.index].eventName)
                           .Flag("otherThread", call.otherThread).Done();
                break;
            case HostCallKind::Unsubscribe:
                text = Line("unsubscribe", at).Text("event", host_.Unsubscriptions()[call.index].eventName)
                           .Flag("otherThread", call.otherThread).Done();
                break;
            case HostCallKind::Request: {
                const RecordedRequest& request = host_.Requests()[call.index];
                Line line("request", at);
                line.Text("method", HttpMethodName(request.Method())).Text("path", request.url);
                if (!request.Body().IsEmpty()) line.Value("body", request.Body());
                line.Integer("status", request.status).Flag("error", request.answeredWithError)
                    .Flag("otherThread", call.otherThread);
                text = line.Done();
                break;
            }
            case HostCallKind::Log: {
                const LogLine& log = host_.LogLines()[call.index];
                Line line("log", at);
                line.Integer("level", log.level).Text("text", LogText(log.message));
                if (stampLines) line.Text("raw", log.message);
                text = line.Flag("otherThread", call.otherThread).Done();
                break;
            }
            case HostCallKind::Event: {
                const DeliveredEvent& event = host_.Events()[call.index];
                Line line("event", at);
                line.Text("event", event.eventName);
                if (event.resourceEvent) line.Text("eventType", event.eventType).Text("uri", event.uri);
                line.Value("data", event.data).Integer("receivers", static_cast<long long>(event.receivers));
                text = line.Done();
                break;
            }
            case HostCallKind::Fault:
                ++failed_;
                text = Line("failure", at).Text("what", "host").Text("text", host_.Faults()[call.index]).Done();
                break;
            case HostCallKind::Wait:
            case HostCallKind::Other:
                text = Line(call.kind == HostCallKind::Wait ? "wait" : "other", at)
                           .Flag("otherThread", call.otherThread).Done();
                break;
            }
            Send(text);
            if (call.otherThread) {
                Failure("thread", std::string("the plugin called the host's ") + HostCallKindName(call.kind) +
                                      " entry from a thread other than the host's");
            }
        }
    }

    const Scenario& scenario_;
    const Channel& channel_;
    FakeHost host_;
    PluginSession* session_ = nullptr;
    std::size_t emitted_ = 0;
    long long checked_ = 0;
    long long failed_ = 0;
};

// Terminal colours, only when printing to one.
struct Palette {
    bool on;
    const char* Paint(const char* code) const { return on ? code : ""; }
    const char* Bold() const { return Paint("\033[1m"); }
    const char* Red() const { return Paint("\033[31m"); }
    const char* Green() const { return Paint("\033[32m"); }
    const char* Yellow() const { return Paint("\033[33m"); }
    const char* Cyan() const { return Paint("\033[36m"); }
    const char* Dim() const { return Paint("\033[2m"); }
    const char* Reset() const { return Paint("\033[0m"); }
};

const char* LevelName(long long level) {
    switch (level) {
    case 0: return "OKAY";
    case 1: return "WARN";
    case 2: return "ERROR";
    case 3: return "ALWAYS";
    default: return "LEVEL?";
    }
}

// Prints one line of the child's timeline for a person.
class TextPrinter {
public:
    TextPrinter(std::FILE* out, const std::string& file, bool color, bool timestamps)
        : out_(out), file_(file), palette_{color}, timestamps_(timestamps) {}

    void Print(const BindingProperty& line) {
        const std::string_view type = line.GetMember("type").GetStringView();
        const double t = line.GetMember("t").ToDouble();
        auto text = [&](const char* key) { return std::string(line.GetMember(key).GetStringView()); };
        const Palette& p = palette_;
        if (timestamps_) std::fprintf(out_, "%s%10.3f ms%s  ", p.Dim(), t, p.Reset());
        if (type == "step") {
            const long long index = static_cast<long long>(line.GetMember("index").ToDouble());
            std::string detail = text("kind");
            if (line.HasMember("path")) detail += " " + text("path");
            if (line.HasMember("value")) detail += " " + ToJson(line.GetMember("value"));
            if (line.HasMember("function")) detail += " " + text("function");
            if (line.HasMember("milliseconds")) detail += " " + ToJson(line.GetMember("milliseconds")) + " ms";
            if (line.HasMember("status")) detail += " -> " + ToJson(line.GetMember("status")) + " \"" + text("message") + "\"";
            std::fprintf(out_, "%s== step %lld: %s%s", p.Bold(), index, detail.c_str(), p.Reset());
            if (line.HasMember("line")) std::fprintf(out_, "  %s(%s)%s", p.Dim(), Where(line).c_str(), p.Reset());
            std::fputc('\n', out_);
        } else if (type == "event") {
            std::fprintf(out_, "%s<- event %s %s %s%s", p.Cyan(), text("eventType").c_str(), text("uri").c_str(),
                         ToJson(line.GetMember("data")).c_str(), p.Reset());
            if (line.GetMember("receivers").ToDouble() == 0) std::fprintf(out_, "  %s(nobody subscribed)%s", p.Dim(), p.Reset());
            std::fputc('\n', out_);
        } else if (type == "request") {
            std::string body = line.HasMember("body") ? " " + ToJson(line.GetMember("body")) : "";
            const long long status = static_cast<long long>(line.GetMember("status").ToDouble());
            std::fprintf(out_, "%s-> %s %s%s%s  %s%lld%s\n", p.Yellow(), text("method").c_str(), text("path").c_str(),
                         body.c_str(), p.Reset(), status >= 400 ? p.Red() : p.Green(), status, p.Reset());
        } else if (type == "log") {
            std::fprintf(out_, "%slog %-6s %s%s\n", p.Dim(), LevelName(static_cast<long long>(line.GetMember("level").ToDouble())),
                         text("text").c_str(), p.Reset());
        } else if (type == "subscribe" || type == "unsubscribe") {
            std::fprintf(out_, "%s%s %s%s\n", p.Dim(), std::string(type).c_str(), text("event").c_str(), p.Reset());
        } else if (type == "reply") {
            std::fprintf(out_, "%sreply %s %lld%s", p.Yellow(), text("function").c_str(),
                         static_cast<long long>(line.GetMember("status").ToDouble()), p.Reset());
            if (line.GetMember("error").ToBool()) std::fprintf(out_, " error \"%s\"", text("errorText").c_str());
            if (line.HasMember("value")) std::fprintf(out_, " %s", ToJson(line.GetMember("value")).c_str());
            std::fputc('\n', out_);
        } else if (type == "expect") {
            const bool held = line.GetMember("held").ToBool();
            std::fprintf(out_, "%s%s %s%s  %s(%s)%s\n", held ? p.Green() : p.Red(), held ? "ok  " : "FAIL", text("what").c_str(),
                         p.Reset(), p.Dim(), Where(line).c_str(), p.Reset());
            if (!held) {
                List("expected", line.GetMember("expected"));
                List("actual", line.GetMember("actual"));
            }
        } else if (type == "failure") {
            std::fprintf(out_, "%sFAIL %s: %s%s\n", p.Red(), text("what").c_str(), text("text").c_str(), p.Reset());
        } else if (type == "summary") {
            const long long failed = static_cast<long long>(line.GetMember("failed").ToDouble());
            std::fprintf(out_, "%s%s: %lld expectations, %lld failed%s\n", failed == 0 ? p.Green() : p.Red(),
                         failed == 0 ? "passed" : "FAILED", static_cast<long long>(line.GetMember("expectations").ToDouble()),
                         failed, p.Reset());
        } else {
            std::fprintf(out_, "%s %s\n", std::string(type).c_str(), ToJson(line).c_str());
        }
        std::fflush(out_);
    }

    std::string Where(const BindingProperty& line) const {
        return file_ + ":" + ToJson(line.GetMember("line")) + ":" + ToJson(line.GetMember("column"));
    }

private:
    void List(const char* label, const BindingProperty& texts) {
        const char* indent = "                 ";
        if (texts.Size() == 0) std::fprintf(out_, "%s%-8s (none)\n", indent, label);
        for (std::size_t i = 0; i < texts.Size(); ++i) {
            std::fprintf(out_, "%s%-8s %s\n", indent, i == 0 ? label : "", std::string(texts.GetElement(i).GetStringView()).c_str());
        }
    }

    std::FILE* out_;
    std::string file_;
    Palette palette_;
    bool timestamps_;
};

// The expectations and failures of a replay as JUnit test cases.
class JUnitCollector {
public:
    JUnitCollector(const std::string& file, const Scenario& scenario)
        : file_(file), className_("pzl-host.run." + (scenario.name.empty() ? file : scenario.name)) {}

    void Add(const BindingProperty& line) {
        const std::string_view type = line.GetMember("type").GetStringView();
        if (type == "step") {
            step_ = static_cast<long long>(line.GetMember("index").ToDouble());
            kind_ = line.GetMember("kind").GetStringView();
        }
        if (type != "expect" && type != "failure") return;
        JUnitCase one;
        one.className = className_;
        std::string where = line.HasMember("line") ? Where(line) : "step " + std::to_string(step_) + " (" + kind_ + ")";
        if (type == "expect") {
            one.name = std::string(line.GetMember("what").GetStringView()) + " at " + where;
            if (!line.GetMember("held").ToBool()) {
                one.outcome = JUnitCase::Outcome::Failed;
                one.message = std::string(line.GetMember("what").GetStringView()) + " did not hold at " + where;
                one.detail = "expected:\n" + Lines(line.GetMember("expected")) + "actual:\n" + Lines(line.GetMember("actual"));
            }
        } else {
            one.name = std::string(line.GetMember("what").GetStringView()) + " in step " + std::to_string(step_) + " (" +
                       kind_ + ")";
            one.outcome = JUnitCase::Outcome::Failed;
            one.message = std::string(line.GetMember("text").GetStringView());
        }
        cases_.push_back(std::move(one));
    }
    // The end of a replay that crashed or hung.
    void AddEnd(const std::string& what, const std::string& text) {
        JUnitCase one;
        one.className = className_;
        one.name = what;
        one.outcome = JUnitCase::Outcome::Failed;
        one.message = text;
        cases_.push_back(std::move(one));
    }
    const std::vector<JUnitCase>& Cases() const { return cases_; }

private:
    std::string Where(const BindingProperty& line) const {
        return file_ + ":" + ToJson(line.GetMember("line")) + ":" + ToJson(line.GetMember("column"));
    }
    static std::string Lines(const BindingProperty& texts) {
        std::string text;
        for (std::size_t i = 0; i < texts.Size(); ++i) text += "  " + std::string(texts.GetElement(i).GetStringView()) + "\n";
        return text.empty() ? "  (none)\n" : text;
    }

    std::string file_;
    std::string className_;
    long long step_ = 0;
    std::string kind_ = "init";
    std::vector<JUnitCase> cases_;
};

bool WriteReport(const RunOptions& options, const JUnitCollector& junit) {
    if (options.junit.empty()) return true;
    std::string error;
    const std::vector<std::pair<std::string, std::string>> properties = {
        {"plugin", options.plugin}, {"scenario", options.scenario}, {"toolVersion", ToolVersion()}};
    if (WriteJUnit(options.junit, "pzl-host run " + options.scenario, properties, junit.Cases(), error)) return true;
    std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
    return false;
}

}  // namespace

int RunScenario(const RunOptions& options, std::FILE* out) {
    Scenario scenario;
    std::string error;
    if (!ReadScenario(options.scenario, scenario, error)) {
        std::fprintf(stderr, "pzl-host: %s\n", error.c_str());
        return 2;
    }
    struct stat info {};
    if (stat(options.plugin.c_str(), &info) != 0) {
        std::fprintf(stderr, "pzl-host: cannot open plugin %s: no such file\n", options.plugin.c_str());
        return 2;
    }
    TextPrinter printer(out, options.scenario, options.color, options.timestamps);
    JUnitCollector junit(options.scenario, scenario);
    if (options.json) {
        std::fprintf(out, "%s\n", StartLine("run", options.plugin, std::nullopt, {{"scenario", options.scenario}}).c_str());
        std::fflush(out);
    }
    BindingProperty lastStep;
    std::string childError;
    long long failures = 0;
    bool sawResult = false;
    const IsolatedOutcome outcome = RunIsolated(
        "run",
        [&](const Channel& channel) {
            stampLines = options.timestamps;
            Replay replay(scenario, channel);
            return replay.Run(options.plugin);
        },
        scenario.stepTimeout,
        [&](std::string_view text) {
            if (text == kAlive) return;
            ConversionResult parsed = ParseJson(std::string(text));
            if (!parsed.Ok()) return;
            const BindingProperty& line = parsed.Value();
            const std::string_view type = line.GetMember("type").GetStringView();
            if (type == "error") {
                childError = line.GetMember("text").GetStringView();
                return;
            }
            if (type == "step") lastStep = line;
            if (type == "summary") sawResult = true;
            junit.Add(line);
            if ((type == "expect" && !line.GetMember("held").ToBool()) || type == "failure") ++failures;
            if (options.json) {
                std::fprintf(out, "%.*s\n", static_cast<int>(text.size()), text.data());
                std::fflush(out);
            } else {
                printer.Print(line);
            }
        });
    if (!childError.empty()) {
        std::fprintf(stderr, "pzl-host: %s\n", childError.c_str());
        return 2;
    }
    if (outcome.end != IsolatedOutcome::End::Exited || !sawResult) {
        std::string what;
        if (outcome.end == IsolatedOutcome::End::TimedOut) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", scenario.stepTimeout);
            what = std::string("the plugin hung: no progress for ") + seconds + " s";
        } else if (outcome.end == IsolatedOutcome::End::Crashed) {
            what = "the plugin crashed (" + CrashText(outcome) + ")";
        } else {
            what = "the replay ended early with status " + std::to_string(outcome.exitCode);
        }
        const long long index = static_cast<long long>(lastStep.GetMember("index").ToDouble());
        std::string where = "step " + std::to_string(index) + " (" + std::string(lastStep.GetMember("kind").GetStringView());
        if (lastStep.HasMember("line")) where += ", " + printer.Where(lastStep);
        where += ")";
        junit.AddEnd(outcome.end == IsolatedOutcome::End::TimedOut ? "timeout" : "crash", what + " during " + where);
        if (options.json) {
            BindingProperty line;
            line["type"] = "failure";
            line["what"] = outcome.end == IsolatedOutcome::End::TimedOut ? "timeout" : "crash";
            line["text"] = what;
            line["step"] = index;
            if (lastStep.HasMember("line")) {
                line["line"] = lastStep.GetMember("line");
                line["column"] = lastStep.GetMember("column");
            }
            std::fprintf(out, "%s\n", ToJson(line).c_str());
        } else {
            Palette p{options.color};
            std::fprintf(out, "%sFAIL %s during %s%s\n", p.Red(), what.c_str(), where.c_str(), p.Reset());
            std::fputs(FailureDetails(outcome, "     ").c_str(), out);
        }
        return WriteReport(options, junit) ? 1 : 2;
    }
    if (!WriteReport(options, junit)) return 2;
    return outcome.exitCode == 0 && failures == 0 ? 0 : (outcome.exitCode == 2 ? 2 : 1);
}

}  // namespace Kesh::StandIn
