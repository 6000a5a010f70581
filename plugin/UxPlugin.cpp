#include "plugin/UxPlugin.h"

#include <string>

#include "plugin/GameflowTypeRegistration.h"
#include "plugin/HostPaths.h"
#include "runtime/SubscribeResource.h"

namespace Kesh::Client::UserExperience::Api {

UxPlugin::~UxPlugin() = default;

void UxPlugin::Shutdown() { PluginBase::Shutdown(); }

void UxPlugin::RegisterTypes() { RegisterGameflowTypes(Registry(), TypeNamePrefix(), TypeTags()); }

bool UxPlugin::OnInit() {
    // The settings come first, so that the flag is known before the first phase.
    SubscribeResource(*this, kUxSettingsPath, &UxPlugin::OnUxSettings);
    SubscribeResource(*this, kGameflowSessionPath, &UxPlugin::OnGameflowSession);
    // The video settings before the host's zoom scale, so that the host's value is
    // compared with the settings' one and not with the initial -1.
    SubscribeResource(*this, kVideoSettingsPath, &UxPlugin::OnVideoSettings);
    SubscribeResource(*this, kZoomScalePath, &UxPlugin::OnZoomScale);
    SubscribeResource(*this, kLoginSessionPath, &UxPlugin::OnLoginSession);

    // A login session that cannot be read means nobody is logged in yet.
    RequestResult<BindingProperty> login = CallApi<BindingProperty>(HttpMethod::Get, kLoginSessionPath);
    if (!login.Succeeded()) {
        SetAffinity("login");
    } else {
        ResourceEvent<BindingProperty> event;
        event.uri = kLoginSessionPath;
        event.eventType = PluginResourceEventType::Create;
        event.data = std::move(login.Value());
        OnLoginSession(event);
    }
    return true;
}

void UxPlugin::DeleteAffinity() { CallApi(HttpMethod::Delete, kAffinityPath); }

void UxPlugin::SetAffinity(const char* profile) {
    CallApi<BindingProperty>(HttpMethod::Post, kAffinityPath, std::string(profile));
}

}  // namespace Kesh::Client::UserExperience::Api
