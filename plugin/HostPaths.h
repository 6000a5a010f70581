#pragma once

namespace Kesh::Client::UserExperience::Api {

// The host resources the plugin watches.
inline constexpr const char* kUxSettingsPath = "/qor-settings/v1/local/qor-user-experience";
inline constexpr const char* kGameflowSessionPath = "/qor-gameflow/v1/session";
inline constexpr const char* kVideoSettingsPath = "/qor-settings/v2/local/video";
inline constexpr const char* kZoomScalePath = "/keshclient/zoom-scale";
inline constexpr const char* kLoginSessionPath = "/qor-login/v1/session";

// The host resources the plugin only calls.
inline constexpr const char* kAffinityPath = "/keshclient/affinity";
inline constexpr const char* kKillUxPath = "/keshclient/kill-ux";
inline constexpr const char* kLaunchUxPath = "/keshclient/launch-ux";
// The video settings are written under version 1 while they are watched under 2.
inline constexpr const char* kVideoSettingsWritePath = "/qor-settings/v1/local/video";

}  // namespace Kesh::Client::UserExperience::Api
