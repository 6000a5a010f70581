#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include "binding/BindingProperty.h"
#include "tests/plugin/LoadedPlugin.h"
#include "tests/support/fakehost/FakeHost.h"

namespace Kesh::Testing {

// A plugin of the built library, initialised against a host that holds no resources
// it watches (so init leaves lastPhase None, no zoom scale and the flag off), with the host's
// records cleared after init.
class UxPluginFixture : public ::testing::Test {
protected:
    void SetUp() override {
        // Where the plugin writes the video settings (watched under v2, so init does
        // not read it); the host answers a write of a missing resource with 404.
        BindingProperty written;
        written["data"]["ZoomScale"] = 1.0;
        written["schemaVersion"] = 1;
        host_.SetResource("/qor-settings/v1/local/video", written);
        plugin_ = std::make_unique<LoadedPlugin>(host_);
        ASSERT_TRUE(plugin_->Init());
        host_.ClearRecords();
    }
    void TearDown() override { plugin_.reset(); }

    bool Deliver(std::string_view path, std::string_view type, const BindingProperty& data) {
        return host_.DeliverResourceEvent(path, type, data);
    }
    void Phase(const BindingProperty& phase, std::string_view type = "Update") {
        BindingProperty session;
        session["phase"] = phase;
        EXPECT_TRUE(Deliver("/qor-gameflow/v1/session", type, session));
    }
    void UnloadSetting(bool on) {
        BindingProperty settings;
        settings["data"]["unloadUxInGameEnabled"] = on;
        EXPECT_TRUE(Deliver("/qor-settings/v1/local/qor-user-experience", "Update", settings));
    }
    void ZoomScale(const BindingProperty& value, std::string_view type = "Update") {
        EXPECT_TRUE(Deliver("/keshclient/zoom-scale", type, value));
    }
    void VideoZoomScale(const BindingProperty& value) {
        BindingProperty video;
        video["data"]["ZoomScale"] = value;
        EXPECT_TRUE(Deliver("/qor-settings/v2/local/video", "Update", video));
    }

    FakeHost host_;
    std::unique_ptr<LoadedPlugin> plugin_;
};

}  // namespace Kesh::Testing
