// Registration with a missing plugin, record or name is a host's mistake: nothing may be
// filled in, and nothing may be dereferenced.
#include <gtest/gtest.h>

#include "runtime/PluginBase.h"
#include "tests/runtime/RuntimeFixture.h"
#include "tests/support/Unpacked.h"

namespace Kesh::Testing {
namespace {

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

}  // namespace
}  // namespace Kesh::Testing
