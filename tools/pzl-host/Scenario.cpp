#include "tools/pzl-host/Scenario.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <regex>
#include <string_view>

#include "formats/YamlReader.h"
#include "tools/pzl-host/YamlMarks.h"

namespace Kesh::StandIn {

const char* StepKindName(ScenarioStep::Kind kind) {
    switch (kind) {
    case ScenarioStep::Kind::Set: return "set";
    case ScenarioStep::Kind::Delete: return "delete";
    case ScenarioStep::Kind::Call: return "call";
    case ScenarioStep::Kind::Wait: return "wait";
    case ScenarioStep::Kind::Fail: return "fail";
    case ScenarioStep::Kind::Recover: return "recover";
    case ScenarioStep::Kind::Unload: return "unload";
    case ScenarioStep::Kind::Expect: return "expect";
    }
    return "step";
}

namespace {

constexpr std::string_view kMethods[] = {"DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"};

bool IsMethod(std::string_view text) {
    for (std::string_view method : kMethods) {
        if (method == text) return true;
    }
    return false;
}

// A failed read: the first error wins and names where it was found.
struct Reader {
    const std::string& file;
    std::string error;

    bool Fail(const YamlMark& mark, const std::string& what) {
        if (error.empty()) error = file + ":" + std::to_string(mark.line) + ":" + std::to_string(mark.column) + ": " + what;
        return false;
    }
    static SourceMark Mark(const YamlMark& mark) { return SourceMark{mark.line, mark.column}; }

    bool OnlyKeys(const BindingProperty& map, const YamlMark& marks, std::initializer_list<std::string_view> keys,
                  const char* where) {
        for (const auto& member : map.Members()) {
            bool known = false;
            for (std::string_view key : keys) known = known || key == member.KeyView();
            if (!known) {
                std::string list;
                for (std::string_view key : keys) list += (list.empty() ? "" : ", ") + std::string(key);
                return Fail(marks.Member(member.KeyView()),
                            "unknown key \"" + std::string(member.KeyView()) + "\" in " + where + " (expected " + list + ")");
            }
        }
        return true;
    }

    bool Text(const BindingProperty& value, const YamlMark& mark, const char* what, std::string& out) {
        if (value.Kind() != PropertyKind::String) return Fail(mark, std::string(what) + " must be a text");
        out = value.GetStringView();
        return true;
    }

    bool Path(const BindingProperty& value, const YamlMark& mark, std::string& out) {
        if (!Text(value, mark, "a resource path", out)) return false;
        if (!out.starts_with("/")) return Fail(mark, "a resource path must begin with \"/\": \"" + out + "\"");
        return true;
    }

    bool Number(const BindingProperty& value, const YamlMark& mark, const char* what, double low, double high,
                double& out) {
        const PropertyKind kind = value.Kind();
        if (kind != PropertyKind::Signed && kind != PropertyKind::Unsigned && kind != PropertyKind::Float)
            return Fail(mark, std::string(what) + " must be a number");
        out = value.ToDouble();
        if (!(out >= low && out <= high))
            return Fail(mark, std::string(what) + " must be between " + std::to_string(static_cast<long long>(low)) +
                                  " and " + std::to_string(static_cast<long long>(high)));
        return true;
    }

    bool Method(const BindingProperty& value, const YamlMark& mark, std::string& out) {
        if (!Text(value, mark, "a method", out)) return false;
        if (!IsMethod(out)) return Fail(mark, "unknown method \"" + out + "\"");
        return true;
    }

    bool Failure(const BindingProperty& value, const YamlMark& mark, bool needsAnswer, PathFailure& out) {
        if (value.Kind() != PropertyKind::Structure)
            return Fail(mark, "a failure is a mapping with method, path, status and message");
        if (!OnlyKeys(value, mark, {"method", "path", "status", "message"}, "a failure")) return false;
        if (!value.HasMember("path")) return Fail(mark, "a failure needs a path");
        if (!Path(value.GetMember("path"), mark.Member("path"), out.path)) return false;
        if (value.HasMember("method") && !Method(value.GetMember("method"), mark.Member("method"), out.method))
            return false;
        if (!needsAnswer) return true;
        double status = 500;
        if (value.HasMember("status") &&
            !Number(value.GetMember("status"), mark.Member("status"), "a status", 100, 599, status))
            return false;
        out.status = static_cast<std::uint32_t>(status);
        if (!value.HasMember("message")) return Fail(mark, "a failure needs a message");
        return Text(value.GetMember("message"), mark.Member("message"), "a message", out.message);
    }

    bool Request(const BindingProperty& value, const YamlMark& mark, ExpectedRequest& out) {
        out.mark = Mark(mark);
        if (value.Kind() == PropertyKind::String) {
            // "METHOD /path"
            const std::string_view text = value.GetStringView();
            const std::size_t space = text.find(' ');
            out.method = std::string(text.substr(0, space));
            if (space == std::string_view::npos || !IsMethod(out.method))
                return Fail(mark, "a request is \"METHOD /path\" or a mapping with method, path and body");
            out.path = std::string(text.substr(space + 1));
            if (!out.path.starts_with("/")) return Fail(mark, "a resource path must begin with \"/\": \"" + out.path + "\"");
            return true;
        }
        if (value.Kind() != PropertyKind::Structure)
            return Fail(mark, "a request is \"METHOD /path\" or a mapping with method, path and body");
        if (!OnlyKeys(value, mark, {"method", "path", "body"}, "a request")) return false;
        if (!value.HasMember("method") || !value.HasMember("path")) return Fail(mark, "a request needs a method and a path");
        if (!Method(value.GetMember("method"), mark.Member("method"), out.method)) return false;
        if (!Path(value.GetMember("path"), mark.Member("path"), out.path)) return false;
        if (value.HasMember("body")) out.body = value.GetMember("body");
        return true;
    }

    bool Log(const BindingProperty& value, const YamlMark& mark, ExpectedLog& out) {
        out.mark = Mark(mark);
        if (value.Kind() == PropertyKind::String) {
            out.pattern = value.GetStringView();
            return true;
        }
        if (value.Kind() != PropertyKind::Structure) return Fail(mark, "a log line is a text pattern or a mapping with level and text");
        if (!OnlyKeys(value, mark, {"level", "text"}, "a log line")) return false;
        if (!value.HasMember("text")) return Fail(mark, "a log line needs a text");
        if (!Text(value.GetMember("text"), mark.Member("text"), "a log text", out.pattern)) return false;
        if (value.HasMember("level")) {
            double level = 0;
            if (!Number(value.GetMember("level"), mark.Member("level"), "a log level", 0, 3, level)) return false;
            out.level = static_cast<std::int32_t>(level);
        }
        return true;
    }

    bool Expect(const BindingProperty& value, const YamlMark& mark, ScenarioStep& step) {
        if (value.Kind() != PropertyKind::Structure)
            return Fail(mark, "expect is a mapping of requests, requests-as-set, logs and resources");
        if (!OnlyKeys(value, mark, {"requests", "requests-as-set", "logs", "resources"}, "expect")) return false;
        if (value.HasMember("requests") && value.HasMember("requests-as-set"))
            return Fail(mark.Member("requests-as-set"), "give either requests or requests-as-set, not both");
        for (const char* key : {"requests", "requests-as-set"}) {
            if (!value.HasMember(key)) continue;
            const BindingProperty& list = value.GetMember(key);
            const YamlMark& listMark = mark.Member(key);
            if (list.Kind() != PropertyKind::Collection && !list.IsEmpty())
                return Fail(listMark, std::string(key) + " is a list of requests");
            step.requests.emplace();
            step.requestsAsSet = std::string_view(key) == "requests-as-set";
            step.requestsMark = Mark(listMark);
            for (std::size_t i = 0; i < list.Elements().size(); ++i) {
                ExpectedRequest request;
                if (!Request(list.Elements()[i], listMark.Element(i), request)) return false;
                step.requests->push_back(std::move(request));
            }
        }
        if (value.HasMember("logs")) {
            const BindingProperty& list = value.GetMember("logs");
            const YamlMark& listMark = mark.Member("logs");
            if (list.Kind() != PropertyKind::Collection && !list.IsEmpty()) return Fail(listMark, "logs is a list of log lines");
            step.logs.emplace();
            step.logsMark = Mark(listMark);
            for (std::size_t i = 0; i < list.Elements().size(); ++i) {
                ExpectedLog line;
                if (!Log(list.Elements()[i], listMark.Element(i), line)) return false;
                step.logs->push_back(std::move(line));
            }
        }
        if (value.HasMember("resources")) {
            const BindingProperty& map = value.GetMember("resources");
            const YamlMark& mapMark = mark.Member("resources");
            if (map.Kind() != PropertyKind::Structure) return Fail(mapMark, "resources is a mapping of path to value");
            for (const auto& member : map.Members()) {
                ExpectedResource resource;
                resource.path = member.KeyView();
                resource.mark = Mark(mapMark.Member(member.KeyView()));
                if (!resource.path.starts_with("/"))
                    return Fail(mapMark.Member(member.KeyView()), "a resource path must begin with \"/\": \"" + resource.path + "\"");
                // A null value: the resource must be absent.
                if (!member.Value().IsEmpty()) resource.value = member.Value();
                step.resources.push_back(std::move(resource));
            }
        }
        if (!step.requests && !step.logs && step.resources.empty()) return Fail(mark, "expect checks nothing");
        return true;
    }

    bool Call(const BindingProperty& value, const YamlMark& mark, ScenarioStep& step) {
        if (!OnlyKeys(value, mark, {"call", "method", "url", "headers", "args", "body", "content-type", "status", "value", "error"},
                      "a call step"))
            return false;
        FunctionCall& call = step.call;
        if (!Text(value.GetMember("call"), mark.Member("call"), "a function name", call.function)) return false;
        // As pzl-host call: any method, a name the host does not number going as a custom one.
        if (value.HasMember("method")) {
            if (!Text(value.GetMember("method"), mark.Member("method"), "a method", call.method)) return false;
            if (call.method.empty()) return Fail(mark.Member("method"), "a method must not be empty");
        }
        if (value.HasMember("url") && !Text(value.GetMember("url"), mark.Member("url"), "a url", call.url)) return false;
        for (const char* key : {"headers", "args"}) {
            if (!value.HasMember(key)) continue;
            const BindingProperty& map = value.GetMember(key);
            if (map.Kind() != PropertyKind::Structure) return Fail(mark.Member(key), std::string(key) + " is a mapping");
            for (const auto& member : map.Members()) {
                if (std::string_view(key) == "args") {
                    call.arguments.emplace_back(std::string(member.KeyView()), member.Value());
                } else {
                    std::string text;
                    if (!Text(member.Value(), mark.Member(key).Member(member.KeyView()), "a header value", text)) return false;
                    call.headers.emplace_back(std::string(member.KeyView()), text);
                }
            }
        }
        if (value.HasMember("body") && !Text(value.GetMember("body"), mark.Member("body"), "a body", call.body)) return false;
        if (value.HasMember("content-type") &&
            !Text(value.GetMember("content-type"), mark.Member("content-type"), "a content type", call.contentType))
            return false;
        if (value.HasMember("status")) {
            double status = 0;
            if (!Number(value.GetMember("status"), mark.Member("status"), "a status", 0, 999, status)) return false;
            call.status = static_cast<std::uint32_t>(status);
        }
        if (value.HasMember("value")) call.value = value.GetMember("value");
        if (value.HasMember("error")) {
            std::string text;
            if (!Text(value.GetMember("error"), mark.Member("error"), "an error pattern", text)) return false;
            call.error = text;
        }
        return true;
    }

    bool Step(const BindingProperty& value, const YamlMark& mark, ScenarioStep& step) {
        step.mark = Mark(mark);
        if (value.Kind() == PropertyKind::String && value.GetStringView() == "unload") {
            step.kind = ScenarioStep::Kind::Unload;
            return true;
        }
        if (value.Kind() != PropertyKind::Structure)
            return Fail(mark, "a step is a mapping whose first key is set, delete, call, wait, fail, recover or expect, or \"unload\"");
        if (value.HasMember("set")) {
            step.kind = ScenarioStep::Kind::Set;
            if (!OnlyKeys(value, mark, {"set", "value", "event"}, "a set step")) return false;
            if (!Path(value.GetMember("set"), mark.Member("set"), step.path)) return false;
            if (!value.HasMember("value")) return Fail(mark, "a set step needs a value");
            step.value = value.GetMember("value");
            if (value.HasMember("event")) {
                if (!Text(value.GetMember("event"), mark.Member("event"), "an event type", step.eventType)) return false;
                if (step.eventType != "Create" && step.eventType != "Update")
                    return Fail(mark.Member("event"), "the event of a set step is Create or Update");
            }
            return true;
        }
        if (value.HasMember("delete")) {
            step.kind = ScenarioStep::Kind::Delete;
            if (!OnlyKeys(value, mark, {"delete"}, "a delete step")) return false;
            return Path(value.GetMember("delete"), mark.Member("delete"), step.path);
        }
        if (value.HasMember("call")) {
            step.kind = ScenarioStep::Kind::Call;
            return Call(value, mark, step);
        }
        if (value.HasMember("wait")) {
            step.kind = ScenarioStep::Kind::Wait;
            if (!OnlyKeys(value, mark, {"wait"}, "a wait step")) return false;
            double milliseconds = 0;
            if (!Number(value.GetMember("wait"), mark.Member("wait"), "a wait in milliseconds", 0, 600000, milliseconds))
                return false;
            step.milliseconds = static_cast<std::uint32_t>(milliseconds);
            return true;
        }
        if (value.HasMember("fail") || value.HasMember("recover")) {
            const bool fail = value.HasMember("fail");
            step.kind = fail ? ScenarioStep::Kind::Fail : ScenarioStep::Kind::Recover;
            const char* key = fail ? "fail" : "recover";
            if (!OnlyKeys(value, mark, {key}, fail ? "a fail step" : "a recover step")) return false;
            return Failure(value.GetMember(key), mark.Member(key), fail, step.failure);
        }
        if (value.HasMember("expect")) {
            step.kind = ScenarioStep::Kind::Expect;
            if (!OnlyKeys(value, mark, {"expect"}, "an expect step")) return false;
            return Expect(value.GetMember("expect"), mark.Member("expect"), step);
        }
        return Fail(mark, "a step is a mapping whose first key is set, delete, call, wait, fail, recover or expect, or \"unload\"");
    }
};

}  // namespace

bool ParseScenario(const std::string& text, const std::string& file, Scenario& scenario, std::string& error) {
    scenario = Scenario();
    scenario.file = file;
    YamlMark marks;
    std::string problem;
    int line = 0, column = 0;
    if (!ReadYamlMarks(text, marks, problem, line, column)) {
        error = file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + problem;
        return false;
    }
    const ConversionResult read = ReadYaml(text);
    if (!read.Ok()) {
        // The reader names line and column from 0.
        std::string message(read.ErrorMessage());
        std::smatch found;
        const std::regex where("line: ([0-9]+) col: ([0-9]+)");
        if (std::regex_search(message, found, where)) {
            line = std::stoi(found[1]) + 1;
            column = std::stoi(found[2]) + 1;
        } else {
            line = marks.line;
            column = marks.column;
        }
        error = file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
        return false;
    }
    const BindingProperty& root = read.Value();
    Reader reader{file, {}};
    if (marks.line == 0) marks.line = marks.column = 1;
    if (root.Kind() != PropertyKind::Structure) {
        reader.Fail(marks, "a scenario is a mapping with resources, failures and steps");
        error = reader.error;
        return false;
    }
    bool ok = reader.OnlyKeys(root, marks, {"name", "timeout", "resources", "failures", "steps"}, "a scenario");
    if (ok && root.HasMember("name")) ok = reader.Text(root.GetMember("name"), marks.Member("name"), "a name", scenario.name);
    if (ok && root.HasMember("timeout"))
        ok = reader.Number(root.GetMember("timeout"), marks.Member("timeout"), "a timeout in seconds", 0.001, 3600,
                           scenario.stepTimeout);
    if (ok && root.HasMember("resources")) {
        const BindingProperty& map = root.GetMember("resources");
        if (map.Kind() != PropertyKind::Structure && !map.IsEmpty()) {
            ok = reader.Fail(marks.Member("resources"), "resources is a mapping of path to value");
        }
        for (const auto& member : map.Members()) {
            if (!ok) break;
            if (!std::string_view(member.KeyView()).starts_with("/")) {
                ok = reader.Fail(marks.Member("resources").Member(member.KeyView()),
                                 "a resource path must begin with \"/\": \"" + std::string(member.KeyView()) + "\"");
            }
            scenario.resources.emplace_back(std::string(member.KeyView()), member.Value());
        }
    }
    if (ok && root.HasMember("failures")) {
        const BindingProperty& list = root.GetMember("failures");
        if (list.Kind() != PropertyKind::Collection) ok = reader.Fail(marks.Member("failures"), "failures is a list");
        for (std::size_t i = 0; ok && i < list.Elements().size(); ++i) {
            PathFailure failure;
            ok = reader.Failure(list.Elements()[i], marks.Member("failures").Element(i), true, failure);
            scenario.failures.push_back(std::move(failure));
        }
    }
    if (ok) {
        const BindingProperty& list = root.GetMember("steps");
        if (!root.HasMember("steps")) {
            ok = reader.Fail(marks, "a scenario needs steps");
        } else if (list.Kind() != PropertyKind::Collection) {
            ok = reader.Fail(marks.Member("steps"), "steps is a list");
        }
        for (std::size_t i = 0; ok && i < list.Elements().size(); ++i) {
            ScenarioStep step;
            ok = reader.Step(list.Elements()[i], marks.Member("steps").Element(i), step);
            scenario.steps.push_back(std::move(step));
        }
    }
    if (!ok) error = reader.error;
    return ok;
}

bool ReadScenario(const std::string& path, Scenario& scenario, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open scenario " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseScenario(text, path, scenario, error);
}

}  // namespace Kesh::StandIn
