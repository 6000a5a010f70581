#pragma once

#include <cstdint>

#include "binding/StaticType.h"

namespace Kesh::Client::UserExperience::Api {

// Where the client stands around a game, as the gameflow session reports it.
enum class GameflowPhase : std::int32_t {
    None = 0,
    Lobby = 1,
    Matchmaking = 2,
    CheckedIntoTournament = 3,
    ReadyCheck = 4,
    ChampSelect = 5,
    GameStart = 6,
    FailedToLaunch = 7,
    InProgress = 8,
    Reconnect = 9,
    WaitingForStats = 10,
    PreEndOfGame = 11,
    EndOfGame = 12,
    TerminatedInError = 13,
};

}  // namespace Kesh::Client::UserExperience::Api

// The host knows the type by this id; it must not follow the compiler's spelling.
PZL_STATIC_TYPE(Kesh::Client::UserExperience::Api::GameflowPhase, 0x309C3526u,
                "const char *__cdecl StaticType::Name<enum Kesh::Client::UserExperience::Api::GameflowPhase>(void)");
