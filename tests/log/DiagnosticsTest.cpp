#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "log/AssertionReport.h"
#include "log/TraceProviders.h"
#include "platform/Process.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

TEST(AssertionReport, Text) {
    EXPECT_EQ(BuildAssertionReport("x > 0", "", "", 0, ""), "Assertion failed!\n\nExpression: x > 0");
    EXPECT_EQ(BuildAssertionReport("e", "why", "a.cpp", -7, "Run"),
              "Assertion failed!\n\nFile: a.cpp\nLine: -7\n\nFunction: Run\n\nExpression: e\n\nDescription: why");
    EXPECT_EQ(BuildAssertionReport(nullptr, "only why", nullptr, 12, nullptr),
              "Assertion failed!\n\nLine: 12\n\n\n\nDescription: only why");
    EXPECT_EQ(BuildAssertionReport("", "", "", 0, ""), "Assertion failed!\n\n");
}

TEST_F(LogTest, AssertionReportIsLoggedAsAnError) {
    DetachConsoles();
    RecordingTarget target;
    Configure(target, 0, 0, 0, "#M");
    ReportAssertion("ALE-1", "it broke, 100%s sure", "", 0, "");
    ASSERT_EQ(target.messages.size(), 1u);
    EXPECT_EQ(target.messages[0], "Assertion failed!\n\nExpression: ALE-1\n\nDescription: it broke, 100%s sure");
    EXPECT_EQ(target.levels[0], 2);
    EXPECT_EQ(target.masks[0], 1u);
}

// Plays the system's tracing service: registers, enables on request, records writes.
struct FakeTracing {
    static inline std::vector<std::uint32_t> writtenIds;
    static inline std::vector<std::uint32_t> writtenNumbers;
    static inline std::vector<std::string> writtenTexts;
    static inline int registrations = 0;
    static inline int unregistrations = 0;
    static inline bool enableOnRegister = false;
    static inline std::uint64_t anyKeyword = 0;

    static void Reset(bool enable, std::uint64_t any) {
        writtenIds.clear();
        writtenNumbers.clear();
        writtenTexts.clear();
        registrations = unregistrations = 0;
        enableOnRegister = enable;
        anyKeyword = any;
    }
    static std::uint32_t PZL_STDCALL Register(const Platform::TraceGuid* guid, Platform::TraceEnableCallback callback,
                                              void* context, Platform::TraceHandle* handle) {
        *handle = static_cast<Platform::TraceHandle>(++registrations);
        if (enableOnRegister) {
            callback(guid, Platform::kTraceEnable, 5, anyKeyword, 0, nullptr, context);
        }
        return 0;
    }
    static std::uint32_t PZL_STDCALL Write(Platform::TraceHandle, const Platform::TraceEventDescriptor* event,
                                           std::uint32_t count, Platform::TraceDataDescriptor* data) {
        writtenIds.push_back(event->id);
        EXPECT_EQ(count, 2u);
        EXPECT_EQ(data[0].size, 4u);
        std::uint32_t number = 0;
        std::memcpy(&number, reinterpret_cast<const void*>(static_cast<std::uintptr_t>(data[0].pointer)), 4);
        writtenNumbers.push_back(number);
        const char* text = reinterpret_cast<const char*>(static_cast<std::uintptr_t>(data[1].pointer));
        EXPECT_EQ(data[1].size, std::strlen(text) + 1);
        writtenTexts.emplace_back(text);
        return 0;
    }
    static std::uint32_t PZL_STDCALL Unregister(Platform::TraceHandle) {
        ++unregistrations;
        return 0;
    }
    static Platform::EventTracingApi Api() { return {&Register, &Write, &Unregister}; }
};

TEST(TraceProviders, StartupEventOnlyWhenAConsumerAsks) {
    FakeTracing::Reset(false, 0);
    {
        TraceProviders providers(FakeTracing::Api());
        providers.Register();
        EXPECT_EQ(FakeTracing::registrations, 4);
        EXPECT_TRUE(FakeTracing::writtenIds.empty());
        providers.Register();  // already registered: nothing new
        EXPECT_EQ(FakeTracing::registrations, 4);
    }
    EXPECT_EQ(FakeTracing::unregistrations, 4);

    FakeTracing::Reset(true, 1);
    TraceProviders providers(FakeTracing::Api());
    providers.Register();
    ASSERT_EQ(FakeTracing::writtenIds.size(), 1u);
    EXPECT_EQ(FakeTracing::writtenIds[0], TraceProviders::kStartupEventId);
    EXPECT_EQ(FakeTracing::writtenNumbers[0], static_cast<std::uint32_t>(Platform::CurrentThreadId()));
    EXPECT_EQ(FakeTracing::writtenTexts[0], "Main thread");
    const Platform::TraceEventDescriptor& startup = providers.Provider(1).Event(0);
    EXPECT_EQ(startup.opcode, 14);
    EXPECT_EQ(startup.task, 2);
    EXPECT_EQ(startup.keyword, 1u);

    providers.Write(providers.Provider(0), providers.Provider(0).Event(0), 5, nullptr);
    EXPECT_EQ(FakeTracing::writtenTexts.back(), "NULL");
    providers.Unregister();
    EXPECT_EQ(providers.Provider(2).Handle(), 0u);

    // No system entry points: nothing registers and nothing is written.
    TraceProviders absent(Platform::EventTracingApi{});
    absent.Register();
    EXPECT_EQ(absent.Provider(0).Handle(), 0u);
}

// Which events a trace consumer's level and keywords turn on: level 0 means all, an
// event at exactly the consumer's level is included, an event's keyword must share a bit
// with the any-mask and hold every bit of the all-mask, and keyword 0 matches anything.
TEST(TraceProviders, EnablementRules) {
    // As many events as a provider holds, followed by guard bytes and on the heap: no
    // enablement may touch anything past the last event (the sanitizer build also watches
    // the heap block's end).
    struct Guarded {
        TraceProvider provider;
        unsigned char after[48];
    };
    const Platform::TraceGuid guid{};
    auto guarded = std::make_unique<Guarded>(Guarded{
        TraceProvider(guid, {{1, 0, 0, 2, 0, 0, 0x1}, {2, 0, 0, 3, 0, 0, 0x6}, {3, 0, 0, 4, 0, 0, 0},
                             {4, 0, 0, 3, 0, 0, 0x2}}),
        {}});
    std::memset(guarded->after, 0xA5, sizeof guarded->after);
    TraceProvider* provider = &guarded->provider;
    struct Case {
        std::uint8_t level;
        std::uint64_t any;
        std::uint64_t all;
        bool enabled[TraceProvider::kMaxEvents];
    };
    const Case cases[] = {
        {3, 0x1, 0, {true, false, false, false}},
        {3, 0x2, 0, {false, true, false, true}},
        {2, 0x2, 0, {false, false, false, false}},
        {4, 0x2, 0, {false, true, true, true}},
        {0, 0x7, 0, {true, true, true, true}},
        {0, 0x7, 0x6, {false, true, true, false}},
    };
    for (const Case& c : cases) {
        provider->OnEnablement(Platform::kTraceEnable, c.level, c.any, c.all);
        EXPECT_TRUE(provider->Enabled());
        EXPECT_EQ(provider->Level(), c.level);
        for (std::size_t i = 0; i < TraceProvider::kMaxEvents; ++i) {
            EXPECT_EQ(provider->EventEnabled(i), c.enabled[i])
                << "level " << int{c.level} << ", any " << c.any << ", all " << c.all << ", event " << i;
        }
    }
    provider->OnEnablement(2, 1, 0, 0);  // another notification changes nothing
    EXPECT_TRUE(provider->EventEnabled(2));
    EXPECT_EQ(provider->Level(), 0);

    provider->OnEnablement(Platform::kTraceDisable, 5, 0, 0);
    EXPECT_FALSE(provider->Enabled());
    EXPECT_FALSE(provider->EventEnabled(1));
    EXPECT_FALSE(provider->EventEnabled(2));
    EXPECT_FALSE(provider->EventEnabled(99));
    for (unsigned char byte : guarded->after) EXPECT_EQ(byte, 0xA5);
}

}  // namespace
}  // namespace Kesh::Testing
