#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/plugin/UxPluginFixture.h"
#include "tests/support/SmallStackThread.h"

namespace Kesh::Testing {
namespace {

using Lines = std::vector<std::string>;

const std::vector<std::string> kPaths = {
    "/qor-settings/v1/local/qor-user-experience", "/qor-gameflow/v1/session", "/qor-settings/v2/local/video",
    "/keshclient/zoom-scale", "/qor-login/v1/session",
};

class MalformedEvents : public UxPluginFixture {
protected:
    // Flag on, phase ChampSelect, last zoom scale 1.5; records cleared.
    void KnownState() {
        UnloadSetting(true);
        Phase("ChampSelect");
        VideoZoomScale(1.5);
        host_.ClearRecords();
    }
    // The known state is intact: the same phase and the same zoom scale do nothing, and
    // the next game unloads the user interface.
    void ExpectKnownState() {
        Phase("ChampSelect");
        ZoomScale(1.5);
        EXPECT_TRUE(host_.Requests().empty()) << ::testing::PrintToString(Calls(host_));
        Phase("InProgress");
        EXPECT_EQ(Calls(host_), (Lines{"POST /keshclient/kill-ux", "POST /keshclient/affinity postgame"}));
    }
};

BindingProperty Event(const BindingProperty& uri, const BindingProperty& type, const BindingProperty& data) {
    BindingProperty event;
    event["uri"] = uri;
    event["eventType"] = type;
    event["data"] = data;
    return event;
}

TEST_F(MalformedEvents, WrongShapesChangeNothing) {
    KnownState();
    BindingProperty phaseList;
    phaseList["phase"][0] = "InProgress";
    BindingProperty phaseStructure;
    phaseStructure["phase"]["name"] = "InProgress";
    BindingProperty phaseBlob;
    phaseBlob["phase"] = std::vector<std::uint8_t>{8, 0, 0, 0};
    BindingProperty settingsAsList;
    settingsAsList[0]["data"]["unloadUxInGameEnabled"] = false;
    const std::vector<BindingProperty> sessions = {BindingProperty("InProgress"), BindingProperty(8), phaseList,
                                                   phaseStructure, phaseBlob, BindingProperty(true)};
    for (const BindingProperty& session : sessions) {
        EXPECT_TRUE(Deliver("/qor-gameflow/v1/session", "Update", session));
    }
    EXPECT_TRUE(Deliver("/qor-settings/v1/local/qor-user-experience", "Update", settingsAsList));
    EXPECT_TRUE(Deliver("/keshclient/zoom-scale", "Update", phaseList));

    // Event records the runtime cannot read: unknown event types, a uri of the wrong
    // kind or no uri, no structure at all, a path nobody watches (records no value can
    // make are the runtime suite's).
    const std::string gameflow = "OnJsonApiEvent_qor-gameflow_v1_session";
    BindingProperty inProgress;
    inProgress["phase"] = "InProgress";
    for (const BindingProperty& event :
         {Event("/qor-gameflow/v1/session", 7, inProgress), Event("/qor-gameflow/v1/session", "Bogus", inProgress),
          Event("/qor-gameflow/v1/session", -1, inProgress), Event(42, "Update", inProgress),
          Event(BindingProperty(), "Update", inProgress), Event("/qor-gameflow/v1/other", "Update", inProgress),
          BindingProperty(5), BindingProperty("/qor-gameflow/v1/session"), BindingProperty()}) {
        host_.Deliver(gameflow, event);
    }
    EXPECT_TRUE(host_.Requests().empty()) << ::testing::PrintToString(Calls(host_));
    EXPECT_TRUE(host_.LogLines().empty());
    ExpectKnownState();
}

// A tree depth-deep on its first element, ending in leaf.
BindingProperty Deep(std::size_t depth, const BindingProperty& leaf) {
    BindingProperty root;
    BindingProperty* node = &root;
    for (std::size_t i = 0; i < depth; ++i) {
        node = &node->Element(0);
    }
    *node = leaf;
    return root;
}

TEST_F(MalformedEvents, DeepAndHugePayloadsOnASmallStack) {
    KnownState();
    RunOnSmallStack([this] {
        constexpr std::size_t kDepth = 100000;
        const BindingProperty deep = Deep(kDepth, BindingProperty("InProgress"));
        BindingProperty deepPhase;
        deepPhase["phase"] = deep;
        BindingProperty deepSettings;
        deepSettings["data"]["unloadUxInGameEnabled"] = deep;  // a non-empty list: true
        BindingProperty huge;
        for (std::size_t i = 0; i < 20000; ++i) {
            huge["member" + std::to_string(i)] = Deep(3, BindingProperty(static_cast<std::int64_t>(i)));
        }
        huge["phase"] = "ChampSelect";
        for (const std::string& path : kPaths) {
            if (path != "/qor-settings/v1/local/qor-user-experience") {
                Deliver(path, "Update", deep);
            }
        }
        Deliver("/qor-gameflow/v1/session", "Update", deepPhase);
        Deliver("/qor-gameflow/v1/session", "Update", huge);
        Deliver("/qor-settings/v1/local/qor-user-experience", "Update", deepSettings);
        host_.Deliver("OnJsonApiEvent_qor-gameflow_v1_session", Deep(kDepth, BindingProperty()));
    });
    // The deep video settings read as zoom scale 0 and are posted; the deep login
    // session is an Update; the deep settings keep the flag on. Nothing else happened.
    EXPECT_EQ(Calls(host_), (Lines{"POST /keshclient/zoom-scale 0"}));
    EXPECT_EQ(Logged(host_, 3), (Lines{"Unload ux in game set to: true"}));
    VideoZoomScale(1.5);
    host_.ClearRecords();
    ExpectKnownState();
}

}  // namespace
}  // namespace Kesh::Testing
