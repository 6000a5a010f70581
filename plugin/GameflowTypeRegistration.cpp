#include "plugin/GameflowTypeRegistration.h"

#include <cstdint>
#include <string_view>

#include "binding/StructDeclaration.h"
#include "binding/TypeBuilder.h"
#include "binding/TypeRegistry.h"
#include "plugin/GameflowPhase.h"
#include "plugin/GameflowSession.h"

namespace Kesh::Client::UserExperience::Api {
namespace {

struct PhaseName {
    std::string_view name;
    GameflowPhase phase;
};

constexpr PhaseName kPhaseNames[] = {
    {"None", GameflowPhase::None},
    {"Lobby", GameflowPhase::Lobby},
    {"Matchmaking", GameflowPhase::Matchmaking},
    {"CheckedIntoTournament", GameflowPhase::CheckedIntoTournament},
    {"ReadyCheck", GameflowPhase::ReadyCheck},
    {"ChampSelect", GameflowPhase::ChampSelect},
    {"GameStart", GameflowPhase::GameStart},
    {"FailedToLaunch", GameflowPhase::FailedToLaunch},
    {"InProgress", GameflowPhase::InProgress},
    {"Reconnect", GameflowPhase::Reconnect},
    {"WaitingForStats", GameflowPhase::WaitingForStats},
    {"PreEndOfGame", GameflowPhase::PreEndOfGame},
    {"EndOfGame", GameflowPhase::EndOfGame},
    {"TerminatedInError", GameflowPhase::TerminatedInError},
};

}  // namespace

void RegisterGameflowTypes(TypeRegistry& registry, const std::string& prefix, const std::vector<std::string>& tags) {
    TypeBuilder phase = registry.DeclareType(prefix + "GameflowPhase", sizeof(GameflowPhase),
                                             StaticTypeOf<GameflowPhase>(), true);
    phase.AddTags(tags);
    if (!phase.AlreadyDeclared()) {
        for (const PhaseName& entry : kPhaseNames) {
            phase.AddEnumerator(entry.name, static_cast<std::int32_t>(entry.phase), {});
        }
    }

    // The phase is neither required nor skipped when default: a session without one
    // reads as None.
    StructDeclaration<GameflowSession> session(registry, prefix + "GameflowSession");
    session.Builder().AddTags(tags);
    session.Field("phase", &GameflowSession::phase);
}

}  // namespace Kesh::Client::UserExperience::Api
