// The host entries the SDK never calls itself still reach the host, every word in its
// place.
#include <gtest/gtest.h>

#include "tests/runtime/RuntimeFixture.h"

namespace Kesh::Testing {
namespace {

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
}

}  // namespace
}  // namespace Kesh::Testing
