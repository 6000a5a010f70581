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

TEST_F(GameflowPolicy, ReconnectRelaunchesAndTheNextGameUnloadsAgain) {
    UnloadSetting(true);
    Phase("InProgress");
    Phase("Reconnect");
    Phase("InProgress");
    EXPECT_EQ(Calls(host_), (Lines{kKillUx, kPostgame, kLaunchUx, kDelete, kKillUx, kPostgame}));
}

TEST_F(GameflowPolicy, APhaseActsOnceUntilItChanges) {
    // None first: it equals the initial phase, so nothing at all.
    Phase("None", "Create");
    EXPECT_TRUE(host_.Requests().empty());
    Phase("Lobby", "Create");
    Phase("Lobby", "Update");
    EXPECT_EQ(Calls(host_), (Lines{kDelete}));

    // A Delete keeps the phase: the same phase coming back does nothing.
    host_.ClearRecords();
    Phase("InProgress", "Delete");
    EXPECT_TRUE(Deliver("/qor-gameflow/v1/session", "Delete", BindingProperty()));
    Phase("Lobby", "Create");
    EXPECT_TRUE(host_.Requests().empty());
    EXPECT_TRUE(host_.LogLines().empty());
    // Changing the setting during a phase acts on nothing by itself.
    UnloadSetting(true);
    EXPECT_TRUE(host_.Requests().empty());
    // A failed request does not make the phase act again.
    host_.ReplyWithError(HttpMethod::Post, "/keshclient/affinity", "Busy", 503);
    Phase("InProgress");
    Phase("InProgress");
    EXPECT_EQ(Calls(host_), (Lines{kKillUx, kPostgame}));
}

TEST_F(GameflowPolicy, AFirstPhaseInProgressUnloadsAtOnce) {
    UnloadSetting(true);
    Phase(8, "Create");
    EXPECT_EQ(Calls(host_), (Lines{kKillUx, kPostgame}));
}

TEST_F(GameflowPolicy, PhasesByNameOrNumberAndUnknownOnesDropped) {
    Phase(5);  // ChampSelect
    Phase("ChampSelect");
    EXPECT_EQ(Calls(host_), (Lines{kDelete}));
    host_.ClearRecords();

    for (const BindingProperty& unknown : {BindingProperty("Unknown"), BindingProperty(14), BindingProperty(-1),
                                           BindingProperty("inprogress"), BindingProperty(8.5)}) {
        Phase(unknown);
    }
    EXPECT_TRUE(host_.Requests().empty());
    // Still ChampSelect: ChampSelect again does nothing, InProgress acts.
    Phase("ChampSelect");
    Phase(8);
    EXPECT_EQ(Calls(host_), (Lines{kPostgame}));
}

TEST_F(GameflowPolicy, ASessionWithoutAPhaseIsPhaseNone) {
    Phase("Lobby");
    host_.ClearRecords();
    EXPECT_TRUE(Deliver("/qor-gameflow/v1/session", "Update", BindingProperty()));
    EXPECT_TRUE(host_.Requests().empty()) << "an Empty session is no structure and is dropped";

    BindingProperty session;
    session.MakeStructure();
    session["gameData"]["queue"] = 420;
    EXPECT_TRUE(Deliver("/qor-gameflow/v1/session", "Update", session));
    EXPECT_EQ(Calls(host_), (Lines{kDelete}));
    host_.ClearRecords();
    // {"phase": null} is None as well, which is now the current phase.
    Phase(BindingProperty());
    EXPECT_TRUE(host_.Requests().empty());
    Phase("TerminatedInError");
    EXPECT_EQ(Calls(host_), (Lines{kDelete}));
}

TEST_F(GameflowPolicy, SettingsPayloads) {
    const auto settings = [](const BindingProperty& value) {
        BindingProperty payload;
        payload["data"]["unloadUxInGameEnabled"] = value;
        return payload;
    };
    const std::string path = "/qor-settings/v1/local/qor-user-experience";
    EXPECT_TRUE(Deliver(path, "Create", settings(true)));
    EXPECT_TRUE(Deliver(path, "Update", settings("yes")));
    EXPECT_TRUE(Deliver(path, "Update", settings(1)));
    EXPECT_TRUE(Deliver(path, "Update", settings("1")));
    EXPECT_TRUE(Deliver(path, "Update", settings(0.0)));
    EXPECT_EQ(Logged(host_, 3), (Lines{"Unload ux in game set to: true", "Unload ux in game set to: false",
                                       "Unload ux in game set to: true", "Unload ux in game set to: true",
                                       "Unload ux in game set to: false"}));

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
