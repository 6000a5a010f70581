// The policy around a game: the user's unload setting, the reactions to the gameflow
// phase and to the login session.
#include <cstdint>

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "plugin/HostPaths.h"
#include "plugin/UxPlugin.h"

namespace Kesh::Client::UserExperience::Api {
void UxPlugin::OnUxSettings(const ResourceEvent<BindingProperty>& event) {
    if (!event.CarriesState()) {
        return;
    }
    const BindingProperty& data = event.data.GetMember("data");
    if (event.data.Kind() != PropertyKind::Structure || data.Kind() != PropertyKind::Structure ||
        !data.HasMember("unloadUxInGameEnabled")) {
        return;
    }
    unloadUxInGame_ = data.GetMember("unloadUxInGameEnabled").ToBool();
    Log(kLevelAlways, kCategoryDebug, "Unload ux in game set to: %s", unloadUxInGame_ ? "true" : "false");
}

void UxPlugin::OnGameflowSession(const ResourceEvent<GameflowSession>& event) {
    if (!event.CarriesState()) {
        return;
    }
    const GameflowPhase phase = event.data.phase;
    if (phase == lastPhase_) {
        return;
    }
    switch (phase) {
    case GameflowPhase::InProgress:
        if (unloadUxInGame_) {
            CallApi<BindingProperty>(HttpMethod::Post, kKillUxPath);
        }
        Log(kLevelAlways, kCategoryDebug, "Setting affinity to postgame.");
        SetAffinity("postgame");
        break;
    case GameflowPhase::Reconnect:
        if (unloadUxInGame_) {
            CallApi<BindingProperty>(HttpMethod::Post, kLaunchUxPath);
        }
        Log(kLevelAlways, kCategoryDebug, "Deleting affinity.");
        DeleteAffinity();
        break;
    case GameflowPhase::WaitingForStats:
    case GameflowPhase::PreEndOfGame:
    case GameflowPhase::EndOfGame:
        // The "postgame" affinity stays until the client leaves the end of the game.
        if (unloadUxInGame_) {
            CallApi<BindingProperty>(HttpMethod::Post, kLaunchUxPath);
        }
        break;
    case GameflowPhase::None:
    case GameflowPhase::Lobby:
    case GameflowPhase::Matchmaking:
    case GameflowPhase::CheckedIntoTournament:
    case GameflowPhase::ReadyCheck:
    case GameflowPhase::ChampSelect:
    case GameflowPhase::GameStart:
    case GameflowPhase::FailedToLaunch:
    case GameflowPhase::TerminatedInError:
        Log(kLevelAlways, kCategoryDebug, "Deleting affinity.");
        DeleteAffinity();
        break;
    }
    // Also when a request failed: the same phase never triggers its requests twice.
    lastPhase_ = phase;
}

void UxPlugin::OnLoginSession(const ResourceEvent<BindingProperty>& event) {
    switch (event.eventType) {
    case PluginResourceEventType::Create:
        DeleteAffinity();
        break;
    case PluginResourceEventType::Delete:
        SetAffinity("login");
        break;
    case PluginResourceEventType::Update:
        break;
    }
}

}  // namespace Kesh::Client::UserExperience::Api
