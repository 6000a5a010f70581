#pragma once

#include "binding/StaticType.h"
#include "plugin/GameflowPhase.h"

namespace Kesh::Client::UserExperience::Api {

// The part of the gameflow session resource the plugin acts on.
struct GameflowSession {
    GameflowPhase phase = GameflowPhase::None;
};

}  // namespace Kesh::Client::UserExperience::Api

PZL_STATIC_TYPE(Kesh::Client::UserExperience::Api::GameflowSession, 0x5B8210B7u,
                "const char *__cdecl StaticType::Name<struct Kesh::Client::UserExperience::Api::GameflowSession>(void)");
