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

    // Not an echo: the value becomes the plugin's only when the settings come back.
    host_.ClearRecords();
    ZoomScale(1.0);
    EXPECT_EQ(Calls(host_), (Lines{kPatch}));
}

// Each video settings payload, delivered after settings of 1.5 were taken: what is
// posted to the host, and whether the host's zoom of 1.5 is still an echo afterwards.
TEST_F(ZoomScaleSync, TheSettingsZoomScaleIsPostedAndStopsTheEcho) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    BindingProperty noData;
    noData["schemaVersion"] = 1;
    BindingProperty noZoom;
    noZoom["data"]["Other"] = 3.0;
    const auto video = [](const BindingProperty& zoomScale) {
        BindingProperty settings;
        settings["data"]["ZoomScale"] = zoomScale;
        return settings;
    };
    struct Case {
        const char* name;
        BindingProperty settings;
        Lines posted;  // empty: the settings are no zoom scale, 1.5 stays
    };
    const Case cases[] = {
        {"the same settings again", video(1.5), {"POST /keshclient/zoom-scale 1.5"}},
        {"a number as text", video("1.25"), {"POST /keshclient/zoom-scale 1.25"}},
        {"text that is no number", video("large"), {"POST /keshclient/zoom-scale 0"}},
        {"a whole number", video(2), {"POST /keshclient/zoom-scale 2"}},
        {"true", video(true), {"POST /keshclient/zoom-scale 1"}},
        {"no data", noData, {"POST /keshclient/zoom-scale 0"}},
        {"no zoom scale in the data", noZoom, {"POST /keshclient/zoom-scale 0"}},
        {"Empty settings", BindingProperty(), {"POST /keshclient/zoom-scale 0"}},
        {"settings that are a number", BindingProperty(7), {"POST /keshclient/zoom-scale 0"}},
        {"out of range text", video("1e999"), {}},
        {"infinity", video(inf), {}},
        {"minus infinity", video(-inf), {}},
        {"NaN", video(nan), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VideoZoomScale(1.5);
        host_.ClearRecords();
        EXPECT_TRUE(Deliver("/qor-settings/v2/local/video", "Update", c.settings));
        EXPECT_EQ(Calls(host_), c.posted);
        EXPECT_TRUE(host_.LogLines().empty());
        host_.ClearRecords();
        ZoomScale(1.5);
        EXPECT_EQ(host_.Requests().empty(), c.posted.empty() || c.posted[0] == "POST /keshclient/zoom-scale 1.5")
            << "the host's 1.5 is an echo only while 1.5 is the last settings value";
    }
    // The last settings read was 1: a host zoom of 1 is an echo, 0 is not.
    VideoZoomScale(true);
    host_.ClearRecords();
    ZoomScale(1.0);
    ZoomScale(0.0);
    EXPECT_EQ(Calls(host_), (Lines{kPatch}));
}

// Host payloads that are no finite zoom scale, and a Delete of either resource, write
// nothing and keep the last settings value; numbers as text and whole numbers are zoom scales.
TEST_F(ZoomScaleSync, HostPayloadsThatAreNoZoomScaleAreDropped) {
    VideoZoomScale(1.0);
    host_.ClearRecords();
    BindingProperty structure;
    structure["value"] = 2.0;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const BindingProperty& payload : {BindingProperty(), BindingProperty("large"), structure,
                                           BindingProperty("1.25x"), BindingProperty(nan), BindingProperty("1e999"),
                                           BindingProperty(inf), BindingProperty(-inf)}) {
        ZoomScale(payload);
    }
    ZoomScale(3.0, "Delete");
    // A Delete of the settings is no settings value either.
    BindingProperty video;
    video["data"]["ZoomScale"] = 3.0;
    EXPECT_TRUE(Deliver("/qor-settings/v2/local/video", "Delete", video));
    EXPECT_TRUE(host_.Requests().empty());
    EXPECT_TRUE(host_.LogLines().empty());
    ZoomScale(1.0);
    EXPECT_TRUE(host_.Requests().empty()) << "1.0 is still the last settings value";

    ZoomScale("1.25");
    ZoomScale(2);
    ASSERT_EQ(host_.Requests().size(), 2u);
    EXPECT_EQ(host_.Requests()[0].Body().GetMember("data").GetMember("ZoomScale").GetFloat(), 1.25);
    EXPECT_EQ(host_.Requests()[1].Body().GetMember("data").GetMember("ZoomScale").GetFloat(), 2.0);
}

}  // namespace
}  // namespace Kesh::Testing
