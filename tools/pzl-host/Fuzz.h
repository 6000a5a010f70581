#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "binding/BindingProperty.h"
#include "runtime/ApiTable.h"
#include "tools/pzl-host/Scenario.h"

namespace Kesh::StandIn {

class FakeHost;
class PluginLibrary;

struct FuzzOptions {
    std::string plugin;
    // Seconds of fuzzing; iterations, when set, ends it sooner.
    double duration = 10.0;
    std::uint64_t iterations = 0;
    unsigned jobs = 1;
    std::optional<std::uint64_t> seed;
    // Replays the input of this iteration seed in this process, and nothing else.
    std::optional<std::uint64_t> reproduce;
    // Seconds one iteration may take before it counts as a hang.
    double timeout = 10.0;
};

// Sends generated and mutated events and function calls to fresh plugin objects on
// jobs child processes. Each iteration is one input (a few steps, each an event to a
// subscribed name or a call to an exposed function) made from its own seed, which comes
// from the run's seed and the iteration's number alone; after the input the plugin is
// unloaded and the host's records are checked. On a crash, a hang or a failed check it
// prints the iteration's seed, the input as JSON, the last host calls and the plugin's
// output, and exits with 1 (0 when nothing failed, 2 when the plugin cannot be loaded).
int FuzzPlugin(const FuzzOptions& options, std::FILE* out);

// What the plugin offers to an input, read from an initialised object: its subscribed
// events with the resource path each stands for, its API table, and the words its
// payloads are made of (its declared field and enumerator names, its path segments).
struct FuzzTarget {
    std::vector<std::pair<std::string, std::string>> events;
    const ApiTable* table = nullptr;
    std::vector<std::string> words;
};
FuzzTarget ReadFuzzTarget(const FakeHost& host, const ApiTable* table);

struct FuzzStep {
    // An event: the name and the payload handed to the host's delivery.
    std::string event;
    BindingProperty payload;
    // A call: the function's index in the table, the request and how it was changed
    // from a valid one ("" for none).
    bool call = false;
    std::uint32_t function = 0;
    FunctionCall request;
    std::string mutation;
};

struct FuzzInput {
    std::uint64_t seed = 0;
    std::vector<FuzzStep> steps;
};

// The seed of iteration number iteration of a run with seed.
std::uint64_t IterationSeed(std::uint64_t seed, std::uint64_t iteration);

// The input of one seed: only the engine's raw output is used, so that a seed makes the
// same input on every platform.
FuzzInput MakeFuzzInput(const FuzzTarget& target, std::uint64_t seed);

// The input as one line of JSON: {"seed":N,"steps":[{"event":..,"payload":..} or
// {"call":..,"mutation":..,"method":..,"url":..,"arguments":..,"contentType":..,"body":..}]}.
std::string FuzzInputJson(const FuzzInput& input);

// 64-bit FNV-1a of the input's JSON: what --reproduce prints beside the input, so that
// two platforms can be shown to make the same input of a seed.
std::uint64_t FuzzInputDigest(const std::string& json);

// Runs the input of seed against a fresh object of library: load, init, the steps,
// unload. False with failure (what went wrong, and at which step) when a check failed.
// before receives the input's JSON before its first step runs.
bool RunFuzzInput(const PluginLibrary& library, std::uint64_t seed,
                  const std::function<void(const std::string& json)>& before, std::string& failure);

}  // namespace Kesh::StandIn
