// The user-experience plugin exposes no functions: its API table describes only its
// types and events.
#include <gtest/gtest.h>

#include <cstring>

#include "runtime/ApiTable.h"
#include "tests/plugin/LoadedPlugin.h"
#include "tests/support/Unpacked.h"

namespace Kesh::Testing {
namespace {

TEST(UxApiTable, ListsNoFunctionsButItsTypes) {
    FakeHost host;
    LoadedPlugin plugin(host);
    ASSERT_TRUE(plugin.Registered());
    const ApiTable* table = plugin.Record().apiTable;
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Unpacked(table->functionCount), 0u);
    EXPECT_EQ(Unpacked(table->functions), nullptr);
    bool phase = false;
    for (std::uint32_t i = 0; i < table->typeCount; ++i) {
        phase = phase || std::strcmp(table->types[i].name, "QorUserExperienceGameflowPhase") == 0;
    }
    EXPECT_TRUE(phase);
    EXPECT_GT(Unpacked(table->eventCount), 0u);
}

}  // namespace
}  // namespace Kesh::Testing
