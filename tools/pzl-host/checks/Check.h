#pragma once

// What every conformance check shares: its verdict, what it is given, a plugin object
// loaded against its own host, and the table of checks.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tools/fakehost/FakeHost.h"
#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/PluginLibrary.h"
#include "tools/pzl-host/PluginSession.h"

namespace Kesh::StandIn {

struct Verdict {
    // Warn: the plugin works, but a host would suffer for it (slow, or allowed but
    // unusual); it fails only a strict run.
    enum class Kind { Pass, Fail, Skip, Warn };
    Kind kind = Kind::Pass;
    std::string reason;
    static Verdict Pass(std::string reason = {}) { return {Kind::Pass, std::move(reason)}; }
    static Verdict Fail(std::string reason) { return {Kind::Fail, std::move(reason)}; }
    static Verdict Skip(std::string reason) { return {Kind::Skip, std::move(reason)}; }
    static Verdict Warn(std::string reason) { return {Kind::Warn, std::move(reason)}; }
    const char* Word() const {
        switch (kind) {
        case Kind::Pass: return "PASS";
        case Kind::Fail: return "FAIL";
        case Kind::Skip: return "SKIP";
        case Kind::Warn: return "WARN";
        }
        return "FAIL";
    }
};

struct CheckContext {
    std::string plugin;
    std::uint64_t seed = 0;
    const Channel* channel = nullptr;
    // How long a random check goes on: this many rounds of its loops (0: its own
    // default) or, when duration is set, that many seconds.
    std::uint64_t iterations = 0;
    double duration = 0.0;
    // How long to wait for calls a plugin makes late (after unload, from its threads).
    int graceMilliseconds = 300;
    // What the check is about to do, so that a crash or a hang can name it.
    void Note(const std::string& what) const {
        if (channel != nullptr) channel->Send("~" + what);
    }
    // How long a call the host waits for took ("init", "reply"), for the runner's
    // warnings about slow plugins.
    void Took(const char* kind, std::chrono::steady_clock::time_point since, const std::string& what) const {
        const auto micros =
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - since).count();
        if (channel != nullptr) channel->Send("@" + std::string(kind) + "\t" + std::to_string(micros) + "\t" + what);
    }
    // Whether round done (from 0) of a loop that runs defaultRounds rounds by default
    // is to run; share is the loop's part of the duration.
    bool More(std::uint64_t done, std::uint64_t defaultRounds, double share = 1.0) const {
        const auto now = std::chrono::steady_clock::now();
        if (done == 0) loopStart = now;
        if (duration <= 0.0) return done < (iterations != 0 ? iterations : defaultRounds);
        // A long loop is progress, not a hang.
        if (channel != nullptr && now - lastAlive > std::chrono::milliseconds(100)) {
            channel->Alive();
            lastAlive = now;
        }
        return done == 0 || std::chrono::duration<double>(now - loopStart).count() < duration * share;
    }
    // Adds one generated input to the digest by which two runs show they sent the same
    // inputs (64-bit FNV-1a, the same on every platform).
    void Digest(std::string_view input) const {
        for (unsigned char byte : input) inputDigest = (inputDigest ^ byte) * 0x100000001B3ull;
        inputDigest = (inputDigest ^ 0xFFu) * 0x100000001B3ull;
    }
    mutable std::uint64_t inputDigest = 0xCBF29CE484222325ull;
    mutable std::chrono::steady_clock::time_point loopStart{}, lastAlive{};
};

// Host faults, replies released twice or never, streamed bodies never ended, as one
// text naming the requests; "" when there are none.
std::string HostUseFault(const FakeHost& host);

// One host call as a line: "request POST /a {...}", "log 3 text", "subscribe Name 0".
// With masked, runs of digits in log texts read "#" (log lines carry the time).
std::string HostCallText(const FakeHost& host, const HostCall& call, bool masked = false);

struct Loaded;

// A seeded sequence for a started plugin: rounds of resource changes (Create, Update,
// Delete with payloads made of its own declared names) to every watched path, and a
// value to every other event it subscribed. Function
// calls are left out: a function crashing on a valid call is valid-calls' finding alone.
void Exercise(Loaded& plugin, std::uint64_t seed, int rounds);

// A plugin object loaded and initialised against its own host, for one check.
struct Loaded {
    PluginLibrary library;
    FakeHost host;
    std::unique_ptr<PluginSession> session;
    std::string error;

    bool Open(const std::string& path) {
        if (!library.Open(path)) {
            error = library.Error();
            return false;
        }
        return true;
    }
    bool Load() {
        session = std::make_unique<PluginSession>(library, host);
        return session->Load(error);
    }
    bool Start(const std::string& path) {
        if (!Open(path) || !Load()) return false;
        if (!session->Init()) {
            error = "init answered false";
            return false;
        }
        return true;
    }
    // The host faults seen so far, as one text.
    std::string Faults() const {
        std::string text;
        for (const std::string& fault : host.Faults()) text += (text.empty() ? "" : "; ") + fault;
        return text;
    }
    // What the plugin did wrong with the host once it is unloaded: host faults, replies
    // released twice or never, streamed bodies never ended; "" when nothing.
    std::string LifecycleFault() const { return HostUseFault(host); }
};

// The resource paths the plugin watches, by the event that covers each: the paths it
// fetched at init, else the path the event's name stands for ("OnJsonApiEvent_a_b" is
// "/a/b").
std::map<std::string, std::string> WatchedPaths(const FakeHost& host);

struct Check {
    const char* name;
    bool random;
    Verdict (*run)(const CheckContext&);
    const char* description;
};

// Every check, in the order validate runs them.
std::span<const Check> AllChecks();

// The checks, by the file that holds them.
Verdict SingleExport(const CheckContext& context);
Verdict Registration(const CheckContext& context);
Verdict ApiTableCheck(const CheckContext& context);
Verdict InitUnload(const CheckContext& context);
Verdict RepeatedCycles(const CheckContext& context);
Verdict SecondObject(const CheckContext& context);
Verdict BalancedAllocations(const CheckContext& context);
Verdict BeforeInitAfterUnload(const CheckContext& context);
Verdict RandomPayloads(const CheckContext& context);
Verdict MalformedPayloads(const CheckContext& context);
Verdict MalformedRequests(const CheckContext& context);
Verdict ValidCalls(const CheckContext& context);
Verdict Threads(const CheckContext& context);
Verdict Deterministic(const CheckContext& context);
Verdict HostErrors(const CheckContext& context);

}  // namespace Kesh::StandIn
