// The plugin object itself, linked into the test: its types as registered and the log
// categories, which the host never sees.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "binding/TypeRecord.h"
#include "plugin/GameflowPhase.h"
#include "plugin/GameflowSession.h"
#include "plugin/UxPlugin.h"
#include "runtime/PluginExport.h"
#include "tests/log/LogFixture.h"
#include "tests/support/fakehost/FakeHost.h"
#include "tests/support/Unpacked.h"

namespace Kesh::Testing {
namespace {

using Client::UserExperience::Api::GameflowPhase;
using Client::UserExperience::Api::GameflowSession;
using Client::UserExperience::Api::UxPlugin;

// A plugin object created by the export's own code and unloaded through its callback.
class InProcessPlugin {
public:
    InProcessPlugin() {
        record.major = 18;
        LoadPlugin<UxPlugin>(&record, "qor-user-experience");
    }
    ~InProcessPlugin() {
        if (record.plugin != nullptr) {
            record.callbacks->unload(record.plugin);
        }
    }
    UxPlugin& Get() { return *static_cast<UxPlugin*>(record.plugin); }
    bool Init(FakeHost& host) { return record.callbacks->init(record.plugin, &host.Context()) != 0; }

    HostRegistration record{};
};

// The types as the host reads them in the API table: names, tags, the phase's numbers
// and the session's one field (of the phase type); registering again adds nothing.
TEST(UxPluginObject, RegisteredTypes) {
    InProcessPlugin plugin;
    ASSERT_NE(Unpacked(plugin.record.plugin), nullptr);
    UxPlugin& ux = plugin.Get();
    const std::vector<std::string> tags = {"Plugins", "Plugin qor-user-experience"};
    const std::vector<std::string> names = {
        "None",           "Lobby",      "Matchmaking",     "CheckedIntoTournament", "ReadyCheck",
        "ChampSelect",    "GameStart",  "FailedToLaunch",  "InProgress",            "Reconnect",
        "WaitingForStats", "PreEndOfGame", "EndOfGame",    "TerminatedInError",
    };
    const TypeRecord* phase = ux.Registry().FindType("QorUserExperienceGameflowPhase");
    const TypeRecord* session = ux.Registry().FindType("QorUserExperienceGameflowSession");
    ASSERT_NE(phase, nullptr);
    ASSERT_NE(session, nullptr);
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass == 0 ? "registered once" : "registered twice");
        EXPECT_EQ(phase->size, 4u);
        EXPECT_TRUE(phase->isEnum);
        EXPECT_EQ(phase->staticType, &StaticTypeOf<GameflowPhase>());
        EXPECT_EQ(phase->tags, tags);
        ASSERT_EQ(phase->enumerators.size(), names.size());
        for (std::size_t number = 0; number < names.size(); ++number) {
            const auto found = phase->enumerators.find(names[number]);
            ASSERT_NE(found, phase->enumerators.end()) << names[number];
            EXPECT_EQ(found->second.number, static_cast<std::int32_t>(number));
        }
        EXPECT_EQ(session->size, 4u);
        EXPECT_FALSE(session->isEnum);
        EXPECT_EQ(session->tags, tags);
        ASSERT_EQ(session->fields.size(), 1u);
        const FieldRecord& field = session->fields[0];
        EXPECT_EQ(field.name, "phase");
        EXPECT_EQ(field.staticType, &StaticTypeOf<GameflowPhase>());
        EXPECT_EQ(field.type.record, phase);
        ux.RegisterTypes();
    }
}

TEST(UxPluginObject, LogLinesCarryTheirLevelsAndCategories) {
    FakeHost host;
    BindingProperty written;
    written["schemaVersion"] = 1;
    host.SetResource("/qor-settings/v1/local/video", written);
    InProcessPlugin plugin;
    ASSERT_TRUE(plugin.Init(host));
    RecordingTarget target;
    target.SetLevel(0);
    target.Attach();

    BindingProperty settings;
    settings["data"]["unloadUxInGameEnabled"] = true;
    host.DeliverResourceEvent("/qor-settings/v1/local/qor-user-experience", "Update", settings);
    BindingProperty session;
    session["phase"] = "InProgress";
    host.DeliverResourceEvent("/qor-gameflow/v1/session", "Update", session);
    session["phase"] = "Lobby";
    host.DeliverResourceEvent("/qor-gameflow/v1/session", "Update", session);
    host.DeliverResourceEvent("/keshclient/zoom-scale", "Update", BindingProperty(1.5));
    host.ReplyWithError(HttpMethod::Patch, "/qor-settings/v1/local/video", "Locked", 423);
    host.DeliverResourceEvent("/keshclient/zoom-scale", "Update", BindingProperty(2.5));
    target.Detach();

    using Line = std::tuple<int, std::uint64_t, std::string>;
    std::vector<Line> lines;
    for (std::size_t i = 0; i < target.messages.size(); ++i) {
        lines.emplace_back(target.levels[i], target.masks[i], target.messages[i]);
    }
    EXPECT_EQ(lines, (std::vector<Line>{
                         {3, 1, "Unload ux in game set to: true"},
                         {3, 1, "Setting affinity to postgame."},
                         {3, 1, "Deleting affinity."},
                         {0, 2, "Writing new zoom scale value of 1.500000 to settings."},
                         {0, 2, "Writing new zoom scale value of 2.500000 to settings."},
                         {2, 1, "Failed to patch new zoom scale settings."},
                     }));
}

}  // namespace
}  // namespace Kesh::Testing
