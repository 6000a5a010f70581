// Which events a trace consumer's level and keywords turn on: level 0 means all, an
// event at exactly the consumer's level is included.
#include <gtest/gtest.h>

#include <memory>

#include "log/TraceProvider.h"

namespace Kesh {
namespace {

TEST(TraceLevel, EventsUpToAndIncludingTheConsumersLevel) {
    const Platform::TraceGuid guid{};
    // As many events as a provider holds, on the heap, so that the sanitizer build
    // sees any write past the last one.
    auto provider = std::make_unique<TraceProvider>(
        guid, std::initializer_list<Platform::TraceEventDescriptor>{
                  {1, 0, 0, 2, 0, 0, 0}, {2, 0, 0, 3, 0, 0, 0}, {3, 0, 0, 4, 0, 0, 0}, {4, 0, 0, 3, 0, 0, 0x2}});
    struct Case {
        std::uint8_t level;
        std::uint64_t any;
        bool enabled[TraceProvider::kMaxEvents];
    };
    for (const Case& c : {Case{3, 0x1, {true, true, false, false}}, Case{3, 0x2, {true, true, false, true}},
                          Case{2, 0x2, {true, false, false, false}}, Case{0, 0x2, {true, true, true, true}}}) {
        provider->OnEnablement(Platform::kTraceEnable, c.level, c.any, 0);
        EXPECT_TRUE(provider->Enabled());
        EXPECT_EQ(provider->Level(), c.level);
        for (std::size_t i = 0; i < TraceProvider::kMaxEvents; ++i) {
            EXPECT_EQ(provider->EventEnabled(i), c.enabled[i]) << "level " << int{c.level} << ", event " << i;
        }
    }
    provider->OnEnablement(Platform::kTraceDisable, 5, 0, 0);
    EXPECT_FALSE(provider->EventEnabled(0));
}

}  // namespace
}  // namespace Kesh
