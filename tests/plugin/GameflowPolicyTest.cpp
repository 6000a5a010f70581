#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "tests/plugin/UxPluginFixture.h"

namespace Kesh::Testing {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kDelete = "DELETE /keshclient/affinity";
constexpr const char* kPostgame = "POST /keshclient/affinity postgame";
constexpr const char* kLogin = "POST /keshclient/affinity login";
constexpr const char* kKillUx = "POST /keshclient/kill-ux";
constexpr const char* kLaunchUx = "POST /keshclient/launch-ux";

class GameflowPolicy : public UxPluginFixture {};

// Every phase, entered from a different one, with the setting on (by name) and off (by
// number): the requests it sends, in order, and its policy log lines.
TEST_F(GameflowPolicy, EveryPhaseSendsItsRequests) {
    struct Row {
        const char* phase;
        Lines settingOn;
        const char* logLine;  // null for none
    };
    const Row rows[] = {
        {"None", {kDelete}, "Deleting affinity."},
        {"Lobby", {kDelete}, "Deleting affinity."},
        {"Matchmaking", {kDelete}, "Deleting affinity."},
        {"CheckedIntoTournament", {kDelete}, "Deleting affinity."},
        {"ReadyCheck", {kDelete}, "Deleting affinity."},
        {"ChampSelect", {kDelete}, "Deleting affinity."},
        {"GameStart", {kDelete}, "Deleting affinity."},
        {"FailedToLaunch", {kDelete}, "Deleting affinity."},
        {"InProgress", {kKillUx, kPostgame}, "Setting affinity to postgame."},
        {"Reconnect", {kLaunchUx, kDelete}, "Deleting affinity."},
        {"WaitingForStats", {kLaunchUx}, nullptr},
        {"PreEndOfGame", {kLaunchUx}, nullptr},
        {"EndOfGame", {kLaunchUx}, nullptr},
        {"TerminatedInError", {kDelete}, "Deleting affinity."},
    };
    for (const bool settingOn : {true, false}) {
        UnloadSetting(settingOn);
        for (std::int32_t number = 0; number < static_cast<std::int32_t>(std::size(rows)); ++number) {
            const Row& row = rows[number];
            SCOPED_TRACE(std::string(row.phase) + (settingOn ? " with the setting on" : " with the setting off"));
            // From a phase that differs, so that this one acts.
            Phase(number == 1 ? "None" : "Lobby");
            host_.ClearRecords();
            if (settingOn) {
                Phase(row.phase);
            } else {
                Phase(number);
            }
            Lines expected;
            for (const std::string& call : row.settingOn) {
                if (settingOn || (call != kKillUx && call != kLaunchUx)) expected.push_back(call);
            }
            EXPECT_EQ(Calls(host_), expected);
            EXPECT_EQ(Logged(host_, 3), row.logLine != nullptr ? Lines{row.logLine} : Lines{});
        }
    }
}

// Runs of session events and the requests they cause: a phase acts once, until a
// different one comes.
TEST_F(GameflowPolicy, PhaseSequences) {
    struct Step {
        BindingProperty phase;
        const char* type = "Update";
        bool wholeSession = false;  // phase is the whole session, not its "phase"
    };
    struct Case {
        const char* name;
        bool unloadSetting;
        std::vector<Step> steps;
        Lines calls;
    };
    BindingProperty noPhase;
    noPhase.MakeStructure();
    noPhase["gameData"]["queue"] = 420;
    const Case cases[] = {
        {"a first phase InProgress unloads at once", true, {{8, "Create"}}, {kKillUx, kPostgame}},
        {"None first equals the initial phase", false, {{"None", "Create"}}, {}},
        {"the same phase twice acts once", false, {{"Lobby", "Create"}, {"Lobby"}}, {kDelete}},
        // A Delete carries no phase: the phase before it coming back does nothing.
        {"a Delete keeps the phase",
         false,
         {{"Lobby"}, {"InProgress", "Delete"}, {BindingProperty(), "Delete"}, {"Lobby", "Create"}},
         {kDelete}},
        {"a phase by number is the phase by name", false, {{5}, {"ChampSelect"}}, {kDelete}},
        {"unknown phases are dropped",
         false,
         {{"ChampSelect"}, {"Unknown"}, {14}, {-1}, {"inprogress"}, {8.5}, {"ChampSelect"}, {8}},
         {kDelete, kPostgame}},
        // An Empty session is no structure and is dropped; a structure without a phase,
        // or {"phase": null}, is phase None.
        {"a session without a phase is phase None",
         false,
         {{"Lobby"}, {BindingProperty(), "Update", true}, {noPhase, "Update", true}, {BindingProperty()},
          {"TerminatedInError"}},
         {kDelete, kDelete, kDelete}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        plugin_.reset();
        SetUp();
        if (c.unloadSetting) UnloadSetting(true);
        for (const Step& step : c.steps) {
            if (step.wholeSession) {
                EXPECT_TRUE(Deliver("/qor-gameflow/v1/session", step.type, step.phase));
            } else {
                Phase(step.phase, step.type);
            }
        }
        EXPECT_EQ(Calls(host_), c.calls);
    }
}

TEST_F(GameflowPolicy, SettingsPayloads) {
    const auto settings = [](const BindingProperty& value) {
        BindingProperty payload;
        payload["data"]["unloadUxInGameEnabled"] = value;
        return payload;
    };
    const std::string path = "/qor-settings/v1/local/qor-user-experience";
    // Values that are no bool are read as the binding reads any value as one.
    EXPECT_TRUE(Deliver(path, "Create", settings(true)));
    EXPECT_TRUE(Deliver(path, "Update", settings("yes")));
    EXPECT_TRUE(Deliver(path, "Update", settings(1)));
    EXPECT_EQ(Logged(host_, 3), (Lines{"Unload ux in game set to: true", "Unload ux in game set to: false",
                                       "Unload ux in game set to: true"}));

    // Turn it on, then payloads that change nothing and log nothing.
    EXPECT_TRUE(Deliver(path, "Update", settings(true)));
    host_.ClearRecords();
    BindingProperty noFlag;
    noFlag["data"].MakeStructure();
    BindingProperty dataNotStructure;
    dataNotStructure["data"] = "unloadUxInGameEnabled";
    BindingProperty flagAtTop;
    flagAtTop["unloadUxInGameEnabled"] = false;
    for (const BindingProperty& payload : {noFlag, dataNotStructure, flagAtTop, BindingProperty(), BindingProperty(0)}) {
        EXPECT_TRUE(Deliver(path, "Update", payload));
    }
    EXPECT_TRUE(Deliver(path, "Delete", settings(false)));
    EXPECT_TRUE(host_.LogLines().empty());
    // The flag is still on.
    Phase("InProgress");
    EXPECT_EQ(Calls(host_), (Lines{kKillUx, kPostgame}));
}

TEST_F(GameflowPolicy, LoginSessionEvents) {
    const std::string path = "/qor-login/v1/session";
    EXPECT_TRUE(Deliver(path, "Create", BindingProperty("anything")));
    EXPECT_EQ(Calls(host_), (Lines{kDelete}));
    host_.ClearRecords();
    EXPECT_TRUE(Deliver(path, "Delete", BindingProperty()));
    EXPECT_EQ(Calls(host_), (Lines{kLogin}));
    host_.ClearRecords();
    EXPECT_TRUE(Deliver(path, "Update", BindingProperty("anything")));
    EXPECT_TRUE(host_.Requests().empty());
    EXPECT_TRUE(host_.LogLines().empty());
}

}  // namespace
}  // namespace Kesh::Testing
