#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>

#include "binding/StructDeclaration.h"
#include "binding/TypeRecord.h"
#include "platform/Allocator.h"
#include "runtime/PluginBase.h"
#include "runtime/PluginExport.h"
#include "runtime/HostRegistration.h"
#include "tests/runtime/RuntimeFixture.h"
#include "tests/support/Unpacked.h"

namespace Kesh::Testing {
namespace {

struct Probe {
    std::int32_t level = 0;
};

// A plugin that declares one type of its own, with the prefix registration gives it.
class ProbePlugin : public PluginBase {
public:
    void RegisterTypes() override {
        registeredWithPrefix = TypeNamePrefix();
        StructDeclaration<Probe>(Registry(), TypeNamePrefix() + "Probe").Field("level", &Probe::level);
    }
    std::string registeredWithPrefix;
};

HostRegistration Record(std::uint32_t major, std::uint32_t minor, std::uint32_t patch) {
    HostRegistration record{};
    record.major = major;
    record.minor = minor;
    record.patch = patch;
    return record;
}

// Any 18.x.y core loads the plugin; the record then carries the plugin's own version.
TEST(Registration, FillsTheRecordForACompatibleCore) {
    for (const auto& [minor, patch] : {std::pair{0u, 0u}, std::pair{3u, 1u}, std::pair{0u, 7u}}) {
        HostRegistration record = Record(18, minor, patch);
        ProbePlugin plugin;
        PluginBase::Register(&plugin, &record, "qor-user-experience");
        EXPECT_EQ(Unpacked(record.major), 18u);
        EXPECT_EQ(Unpacked(record.minor), 0u);
        EXPECT_EQ(Unpacked(record.patch), 0u);
        EXPECT_EQ(Unpacked(record.plugin), &plugin);
        EXPECT_STREQ(record.shortName, "qor-user-experience");
        ASSERT_NE(Unpacked(record.callbacks), nullptr);
        EXPECT_NE(record.callbacks->init, nullptr);
        EXPECT_EQ(plugin.CoreVersion().Text(), "18." + std::to_string(minor) + "." + std::to_string(patch));
        if (minor != 0 || patch != 0) continue;

        EXPECT_EQ(plugin.Name().fullName, "pzl-be-qor-user-experience");
        EXPECT_EQ(plugin.ShortName(), "qor-user-experience");
        EXPECT_EQ(plugin.TypeNamePrefix(), "QorUserExperience");
        EXPECT_EQ(plugin.registeredWithPrefix, "QorUserExperience");
        EXPECT_EQ(plugin.TypeTags(), (std::vector<std::string>{"Plugins", "Plugin qor-user-experience"}));
        TypeRegistry& registry = plugin.Registry();
        EXPECT_NE(registry.FindType("QorUserExperienceProbe"), nullptr);
        EXPECT_NE(registry.FindType("PluginResourceEvent"), nullptr);
        EXPECT_NE(registry.FindType("PluginServiceProxyResponse"), nullptr);
        EXPECT_NE(registry.FindEvent("OnJsonApiEvent"), nullptr);
        EXPECT_NE(registry.FindEvent("OnCallback"), nullptr);  // the built-ins came first
        // The API table describes every type and event; this plugin exposes no functions.
        ASSERT_NE(Unpacked(record.apiTable), nullptr);
        EXPECT_EQ(Unpacked(record.apiTable->functionCount), 0u);
        EXPECT_EQ(Unpacked(record.apiTable->typeCount), registry.TypeSnapshot().size());
        EXPECT_EQ(Unpacked(record.apiTable->eventCount), registry.EventSnapshot().size());
    }
}

TEST(Registration, MemoryStatsThroughTheCallbacks) {
    HostRegistration record = Record(18, 0, 0);
    ProbePlugin plugin;
    PluginBase::Register(&plugin, &record, "x");
    auto block = std::make_unique<char[]>(1000);
    MemoryStats stats;
    std::memset(&stats, 0xAB, sizeof stats);
    record.callbacks->memoryStats(record.plugin, &stats);
    EXPECT_GT(Unpacked(stats.allocationCount), 0u);
    EXPECT_GE(Unpacked(stats.bytesAllocated), 1000u);
    EXPECT_GE(Unpacked(stats.allocationCount), Unpacked(stats.freeCount));
    EXPECT_GE(Unpacked(stats.peakLiveBytes), stats.bytesAllocated - stats.bytesFreed);
    EXPECT_EQ(Unpacked(stats.reserved), 0u);
    record.callbacks->memoryStats(record.plugin, nullptr);  // ignored, not a crash
    // Init without a host context fails instead of crashing.
    EXPECT_EQ(record.callbacks->init(record.plugin, nullptr), 0);
}

TEST(RegistrationDeathTest, IncompatibleCoreEndsTheProcessAfterTheReport) {
    // "fast" forks without exec: the 32-bit tests may run under an emulator, where a
    // fresh exec of the test binary is not possible.
    GTEST_FLAG_SET(death_test_style, "fast");
    for (const auto& [major, minor, patch] : {std::tuple{17u, 9u, 9u}, std::tuple{19u, 0u, 0u}}) {
        const std::string core = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(patch);
        EXPECT_DEATH(
            {
                HostRegistration record = Record(major, minor, patch);
                ProbePlugin plugin;
                PluginBase::Register(&plugin, &record, "qor-user-experience");
            },
            "Expression: ALE-EECF0606\n\nDescription: qor-user-experience which supports plugin API "
            "18\\.0\\.0 is not compatible with core's plugin API " +
                core + "\n");
    }
}

// Fails exactly the allocation of a plugin object; everything else goes to the hooks
// that were installed before.
Memory::AllocatorHooks gPreviousHooks{};

void* FailPluginAllocation(void*, std::size_t size) {
    return size == sizeof(ProbePlugin) ? nullptr : gPreviousHooks.allocate(gPreviousHooks.context, size);
}

TEST(Registration, ExportLeavesTheRecordAloneWithoutARecordOrStorage) {
    LoadPlugin<ProbePlugin>(nullptr, "x");  // nothing to fill, nothing to crash

    gPreviousHooks = Memory::CurrentHooks();
    Memory::AllocatorHooks failing = gPreviousHooks;
    failing.allocate = &FailPluginAllocation;
    Memory::InstallHooks(failing);
    HostRegistration record{17, 3, 9, nullptr, nullptr, nullptr, nullptr};
    const HostRegistration before = record;
    LoadPlugin<ProbePlugin>(&record, "x");
    Memory::InstallHooks(gPreviousHooks);
    EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);

    record = Record(18, 1, 0);
    LoadPlugin<ProbePlugin>(&record, "x");
    ASSERT_NE(Unpacked(record.plugin), nullptr);
    record.callbacks->unload(record.plugin);
}

TEST(HostRegistration, WordsSitWhereTheHostReadsThem) {
    // The host reads the record as seven pointer-wide words.
    HostRegistration record{};
    PluginCallbacks callbacks{};
    record.major = 18;
    record.callbacks = &callbacks;
    record.shortName = "x";
    const auto* words = reinterpret_cast<const std::uintptr_t*>(&record);
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof record, 28u);
        EXPECT_EQ(words[0], 18u);
        EXPECT_EQ(words[3], reinterpret_cast<std::uintptr_t>(&callbacks));
        EXPECT_EQ(words[5], reinterpret_cast<std::uintptr_t>(record.shortName));
    } else {
        EXPECT_EQ(offsetof(HostRegistration, callbacks), 12u);
        EXPECT_EQ(sizeof record, 12u + 4 * sizeof(void*));
    }
}

// Registration with a missing plugin, record or name is a host's mistake: nothing may be
// filled in, and nothing may be dereferenced.
TEST(RegisterArguments, AnyMissingOneLeavesEverythingUntouched) {
    struct Case {
        bool plugin;
        bool record;
        const char* shortName;
    };
    for (const Case c : {Case{false, true, "x"}, Case{true, true, nullptr}, Case{true, false, "x"}}) {
        TestPlugin plugin;
        HostRegistration record{};
        record.major = 18;
        PluginBase::Register(c.plugin ? &plugin : nullptr, c.record ? &record : nullptr, c.shortName);
        EXPECT_EQ(Unpacked(record.plugin), nullptr);
        EXPECT_EQ(Unpacked(record.callbacks), nullptr);
        EXPECT_EQ(Unpacked(record.apiTable), nullptr);
        EXPECT_EQ(Unpacked(record.major), 18u);
        EXPECT_EQ(plugin.ShortName(), "");
    }
}

// The host entries the SDK never calls itself still reach the host, every word in its
// place.
using HostEntryTest = RuntimeTest;

TEST_F(HostEntryTest, WordsReachTheHostInOrder) {
    plugin->CallHostEntry1(1, 2);
    plugin->CallHostEntry2(3);
    plugin->CallHostEntry5(4, 5, 6, 0.5, 7);
    const std::vector<OtherEntryCall>& calls = host.OtherCalls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].entry, 1);
    EXPECT_EQ(calls[0].words, (std::vector<std::uint32_t>{1, 2}));
    EXPECT_EQ(calls[1].entry, 2);
    EXPECT_EQ(calls[1].words, (std::vector<std::uint32_t>{3}));
    EXPECT_EQ(calls[2].entry, 5);
    EXPECT_EQ(calls[2].words, (std::vector<std::uint32_t>{4, 5, 6, 7}));
    EXPECT_EQ(calls[2].value, 0.5);

    // A host without these entries, or no host yet: the forwarders call nothing.
    HostApi& api = host.Api();
    api.reserved1 = nullptr;
    api.reserved2 = nullptr;
    api.reserved5 = nullptr;
    api.subscribeEvent = nullptr;
    api.unsubscribeEvent = nullptr;
    TestPlugin uninitialised;
    for (PluginBase* target : {static_cast<PluginBase*>(plugin), static_cast<PluginBase*>(&uninitialised)}) {
        target->CallHostEntry1(1, 2);
        target->CallHostEntry2(3);
        target->CallHostEntry5(4, 5, 6, 0.5, 7);
        target->SubscribeEvent("OnSomething", 1, [](HostEvent*) {}, nullptr, 0);
        target->UnsubscribeEvent("OnSomething", 1);
    }
    EXPECT_EQ(host.OtherCalls().size(), 3u);
}

}  // namespace
}  // namespace Kesh::Testing
