#pragma once

#include <cstdint>

#include "binding/BindingProperty.h"
#include "plugin/GameflowPhase.h"
#include "plugin/GameflowSession.h"
#include "runtime/ResourceEvent.h"
#include "runtime/PluginBase.h"

namespace Kesh::Client::UserExperience::Api {

// The user-experience plugin: unloads and relaunches the user interface around a game,
// keeps the host's affinity profile in step with the client's state, and keeps the
// host's zoom scale and the video settings' one in step. Everything it does is a
// reaction to the five resources it watches.
class UxPlugin : public PluginBase {
public:
    UxPlugin() = default;
    ~UxPlugin() override;

    void Shutdown() override;
    void RegisterTypes() override;
    bool OnInit() override;

    // "/qor-settings/v1/local/qor-user-experience"
    void OnUxSettings(const ResourceEvent<BindingProperty>& event);
    // "/qor-gameflow/v1/session"
    void OnGameflowSession(const ResourceEvent<GameflowSession>& event);
    // "/qor-settings/v2/local/video"
    void OnVideoSettings(const ResourceEvent<BindingProperty>& event);
    // "/keshclient/zoom-scale"
    void OnZoomScale(const ResourceEvent<double>& event);
    // "/qor-login/v1/session"
    void OnLoginSession(const ResourceEvent<BindingProperty>& event);

    bool UnloadUxInGame() const { return unloadUxInGame_; }
    std::int64_t SettingsSchemaVersion() const { return settingsSchemaVersion_; }
    double LastZoomScale() const { return lastZoomScale_; }
    GameflowPhase LastPhase() const { return lastPhase_; }

private:
    void DeleteAffinity();
    void SetAffinity(const char* profile);

    // The user's "unloadUxInGameEnabled".
    bool unloadUxInGame_ = false;
    // Sent with every write of the video settings.
    std::int64_t settingsSchemaVersion_ = 1;
    // The zoom scale last read from the video settings; a host zoom scale equal to it
    // is an echo of our own post and is not written back.
    double lastZoomScale_ = -1.0;
    // The phase last acted on: a repeated phase does nothing.
    GameflowPhase lastPhase_ = GameflowPhase::None;
};

}  // namespace Kesh::Client::UserExperience::Api
