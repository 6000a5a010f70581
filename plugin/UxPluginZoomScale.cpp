// Zoom scale in both directions: the video settings' value goes to the host, the
// host's value is written into the video settings.
#include <cmath>
#include <cstdint>

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "plugin/HostPaths.h"
#include "plugin/UxPlugin.h"

namespace Kesh::Client::UserExperience::Api {
void UxPlugin::OnVideoSettings(const ResourceEvent<BindingProperty>& event) {
    if (!event.CarriesState()) {
        return;
    }
    // Settings without a zoom scale read as 0.
    const double zoomScale = event.data.GetMember("data").GetMember("ZoomScale").ToDouble(0.0);
    // "nan", "inf" or "1e999" is no zoom scale to hand the host, nor to compare with.
    if (!std::isfinite(zoomScale)) {
        return;
    }
    lastZoomScale_ = zoomScale;
    CallApi<BindingProperty>(HttpMethod::Post, kZoomScalePath, zoomScale);
}

void UxPlugin::OnZoomScale(const ResourceEvent<double>& event) {
    if (!event.CarriesState()) {
        return;
    }
    const double zoomScale = event.data;
    // NaN and infinities are no zoom scales: a NaN written into the settings would come
    // back unequal to itself and be written again on every echo.
    if (!std::isfinite(zoomScale) || zoomScale == lastZoomScale_) {
        return;
    }
    BindingProperty body;
    body.MakeStructure();
    body["schemaVersion"] = settingsSchemaVersion_;
    body["data"]["ZoomScale"] = zoomScale;
    Log(kLevelOkay, kCategoryGeneral, "Writing new zoom scale value of %f to settings.", zoomScale);
    // The value becomes ours only when the written settings come back.
    if (!CallApi(HttpMethod::Patch, kVideoSettingsWritePath, body).Succeeded()) {
        Log(kLevelError, kCategoryDebug, "Failed to patch new zoom scale settings.");
    }
}

}  // namespace Kesh::Client::UserExperience::Api
