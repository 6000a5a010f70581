#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/BindingProperty.h"

namespace Kesh::StandIn {

// Where a scenario item was written: "file:line:column".
struct SourceMark {
    int line = 0;
    int column = 0;
};

// A request the plugin must have sent: method and path always, the body when given.
struct ExpectedRequest {
    std::string method;
    std::string path;
    std::optional<BindingProperty> body;
    SourceMark mark;
};

// A log line the plugin must have written: its level when given, and its message
// (the host's decoration cut off) matching a pattern in which "*" stands for any text.
struct ExpectedLog {
    std::optional<std::int32_t> level;
    std::string pattern;
    SourceMark mark;
};

// A resource's value after the step; no value means the resource must be absent.
struct ExpectedResource {
    std::string path;
    std::optional<BindingProperty> value;
    SourceMark mark;
};

// A host path that answers with an error instead of its stored value. An empty method
// stands for every method.
struct PathFailure {
    std::string method;
    std::string path;
    std::uint32_t status = 500;
    std::string message;
};

// One call of an exposed function.
struct FunctionCall {
    std::string function;
    std::string method;
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    // Typed arguments by name, as values.
    std::vector<std::pair<std::string, BindingProperty>> arguments;
    std::string body;
    std::string contentType;
    // What the reply must be, when given.
    std::optional<std::uint32_t> status;
    std::optional<BindingProperty> value;
    std::optional<std::string> error;
};

struct ScenarioStep {
    enum class Kind { Set, Delete, Call, Wait, Fail, Recover, Unload, Expect };
    Kind kind = Kind::Expect;
    SourceMark mark;

    // Set and Delete: the resource; Set's value and the event type delivered ("Create"
    // when the resource was absent, else "Update", unless given).
    std::string path;
    BindingProperty value;
    std::string eventType;
    // Wait: milliseconds.
    std::uint32_t milliseconds = 0;
    // Fail and Recover.
    PathFailure failure;
    // Call.
    FunctionCall call;
    // Expect: each list is checked only when given.
    std::optional<std::vector<ExpectedRequest>> requests;
    bool requestsAsSet = false;
    SourceMark requestsMark;
    std::optional<std::vector<ExpectedLog>> logs;
    SourceMark logsMark;
    std::vector<ExpectedResource> resources;
};

struct Scenario {
    std::string file;
    std::string name;
    // The host's store at start, in the order written.
    std::vector<std::pair<std::string, BindingProperty>> resources;
    std::vector<PathFailure> failures;
    std::vector<ScenarioStep> steps;
    // Seconds one step may take before the plugin counts as hung.
    double stepTimeout = 10.0;
};

const char* StepKindName(ScenarioStep::Kind kind);

// Reads a scenario file. On failure returns false with error "file:line:column: what".
bool ReadScenario(const std::string& path, Scenario& scenario, std::string& error);
// The same from text, naming file in messages.
bool ParseScenario(const std::string& text, const std::string& file, Scenario& scenario, std::string& error);

}  // namespace Kesh::StandIn
