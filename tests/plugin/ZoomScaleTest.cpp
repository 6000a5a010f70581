#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "tests/plugin/UxPluginFixture.h"

namespace Kesh::Testing {
namespace {

using Lines = std::vector<std::string>;

constexpr const char* kPatch = "PATCH /qor-settings/v1/local/video {...}";

class ZoomScaleSync : public UxPluginFixture {};

TEST_F(ZoomScaleSync, AHostZoomScaleIsWrittenIntoTheSettings) {
    // Before any settings event the last zoom scale is -1.
    ZoomScale(1.0, "Create");
    ASSERT_EQ(Calls(host_), (Lines{kPatch}));
    const RecordedRequest& patch = host_.Requests().front();
    ASSERT_EQ(patch.arguments.size(), 1u);
    const BindingProperty& body = patch.Body();
    ASSERT_EQ(body.Kind(), PropertyKind::Structure);
    EXPECT_EQ(body.Size(), 2u);
    EXPECT_EQ(body.GetMember("schemaVersion").Kind(), PropertyKind::Signed);
    EXPECT_EQ(body.GetMember("schemaVersion").GetSigned(), 1);
    EXPECT_EQ(body.GetMember("data").Size(), 1u);
    EXPECT_EQ(body.GetMember("data").GetMember("ZoomScale").Kind(), PropertyKind::Float);
    EXPECT_EQ(body.GetMember("data").GetMember("ZoomScale").GetFloat(), 1.0);
    // The write is logged at level 0, which reaches the host once the plugin runs.
    EXPECT_EQ(Logged(host_, 0), (Lines{"Writing new zoom scale value of 1.000000 to settings."}));
    EXPECT_EQ(host_.LogLines().size(), 1u);

    // Not an echo: the value becomes the plugin's only when the settings come back.
    host_.ClearRecords();
    ZoomScale(1.0);
    EXPECT_EQ(Calls(host_), (Lines{kPatch}));
}

TEST_F(ZoomScaleSync, TheSettingsZoomScaleIsPostedAndStopsTheEcho) {
    VideoZoomScale(1.5);
    EXPECT_EQ(Calls(host_), (Lines{"POST /keshclient/zoom-scale 1.5"}));
    host_.ClearRecords();
    ZoomScale(1.5);
    EXPECT_TRUE(host_.Requests().empty());
    EXPECT_TRUE(host_.LogLines().empty());
    // The same settings again are posted again.
    VideoZoomScale(1.5);
    VideoZoomScale("1.25");
    VideoZoomScale("large");
    VideoZoomScale(2);
    VideoZoomScale(true);
    EXPECT_EQ(Calls(host_), (Lines{"POST /keshclient/zoom-scale 1.5", "POST /keshclient/zoom-scale 1.25",
                                   "POST /keshclient/zoom-scale 0", "POST /keshclient/zoom-scale 2",
                                   "POST /keshclient/zoom-scale 1"}));
    // The last settings read was 1: a host zoom of 1 is an echo, 0 is not.
    host_.ClearRecords();
    ZoomScale(1.0);
    ZoomScale(0.0);
    EXPECT_EQ(Calls(host_), (Lines{kPatch}));
}

TEST_F(ZoomScaleSync, SettingsWithoutAZoomScaleReadAsZero) {
    BindingProperty noData;
    noData["schemaVersion"] = 1;
    BindingProperty noZoom;
    noZoom["data"]["Other"] = 3.0;
    for (const BindingProperty& video : {noData, noZoom, BindingProperty(), BindingProperty(7)}) {
        EXPECT_TRUE(Deliver("/qor-settings/v2/local/video", "Update", video));
    }
    EXPECT_EQ(Calls(host_), (Lines{"POST /keshclient/zoom-scale 0", "POST /keshclient/zoom-scale 0",
                                   "POST /keshclient/zoom-scale 0", "POST /keshclient/zoom-scale 0"}));
    host_.ClearRecords();
    ZoomScale(0.0);
    EXPECT_TRUE(host_.Requests().empty());
}

TEST_F(ZoomScaleSync, HostPayloadsThatAreNoZoomScaleAreDropped) {
    VideoZoomScale(1.0);
    host_.ClearRecords();
    BindingProperty structure;
    structure["value"] = 2.0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const BindingProperty& payload : {BindingProperty(), BindingProperty("large"), structure,
                                           BindingProperty("1.25x"), BindingProperty(nan), BindingProperty("nan")}) {
        ZoomScale(payload);
    }
    // A Delete carries no zoom scale.
    ZoomScale(3.0, "Delete");
    EXPECT_TRUE(host_.Requests().empty());
    EXPECT_TRUE(host_.LogLines().empty());

    // Numbers as text and whole numbers are zoom scales.
    ZoomScale("1.25");
    ZoomScale(2);
    ASSERT_EQ(host_.Requests().size(), 2u);
    EXPECT_EQ(host_.Requests()[0].Body().GetMember("data").GetMember("ZoomScale").GetFloat(), 1.25);
    EXPECT_EQ(host_.Requests()[1].Body().GetMember("data").GetMember("ZoomScale").GetFloat(), 2.0);
}

// NaN and infinities are no zoom scales, whichever side they come from, as numbers or
// as text: nothing is posted or written, and the last settings value stays.
TEST_F(ZoomScaleSync, NonFiniteZoomScalesAreIgnoredBothWays) {
    VideoZoomScale(1.5);
    host_.ClearRecords();
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const BindingProperty& value : {BindingProperty("nan"), BindingProperty("inf"), BindingProperty("1e999"),
                                         BindingProperty("-infinity"), BindingProperty(inf), BindingProperty(-inf),
                                         BindingProperty(nan)}) {
        VideoZoomScale(value);
        ZoomScale(value);
    }
    EXPECT_TRUE(host_.Requests().empty());
    EXPECT_TRUE(host_.LogLines().empty());
    // Still 1.5: the host's 1.5 is an echo.
    ZoomScale(1.5);
    EXPECT_TRUE(host_.Requests().empty());
}

TEST_F(ZoomScaleSync, AFailedWriteIsLoggedAsAnError) {
    host_.ReplyWithError(HttpMethod::Patch, "/qor-settings/v1/local/video", "Locked", 423);
    ZoomScale(1.75);
    EXPECT_EQ(Calls(host_), (Lines{kPatch}));
    EXPECT_EQ(Logged(host_, 2), (Lines{"Failed to patch new zoom scale settings."}));
    EXPECT_EQ(host_.LogLines().size(), 2u);
    // Not retried by itself; the next differing zoom scale tries again.
    host_.ClearRecords();
    host_.ClearReplies();
    ZoomScale(1.75);
    EXPECT_EQ(Calls(host_), (Lines{kPatch}));
    EXPECT_TRUE(Logged(host_, 2).empty());
}

TEST_F(ZoomScaleSync, ADeleteOfTheSettingsDoesNothing) {
    VideoZoomScale(1.0);
    host_.ClearRecords();
    BindingProperty video;
    video["data"]["ZoomScale"] = 3.0;
    EXPECT_TRUE(Deliver("/qor-settings/v2/local/video", "Delete", video));
    EXPECT_TRUE(host_.Requests().empty());
    ZoomScale(1.0);
    EXPECT_TRUE(host_.Requests().empty()) << "the deleted settings' zoom scale was not taken";
}

}  // namespace
}  // namespace Kesh::Testing
