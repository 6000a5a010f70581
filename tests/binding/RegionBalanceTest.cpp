#include <gtest/gtest.h>

#include <string>

#include "binding/BindingProperty.h"
#include "binding/BlockAllocator.h"
#include "platform/VirtualMemory.h"

namespace Kesh {
namespace {

// The block allocator's own count and the system's count of regions must agree: a
// region forgotten on its way back to the system would leave them apart.
void ExpectRegionsAgree(const char* when) {
    EXPECT_EQ(BlockAllocator::Instance().ReadCounts().regions, Platform::LiveRegionCount()) << when;
}

TEST(RegionBalance, ValueTreesGiveEveryRegionBackToTheSystem) {
    ExpectRegionsAgree("before");
    const std::size_t before = Platform::LiveRegionCount();
    {
        // Many small headers and member nodes: enough cells to need several regions.
        BindingProperty root;
        for (int i = 0; i < 20000; ++i) {
            BindingProperty& item = root.Append();
            item["name"] = std::string("item ") + std::to_string(i);
            item["tags"].Append() = "a";
        }
        EXPECT_GT(Platform::LiveRegionCount(), before + 1);
        ExpectRegionsAgree("while the tree lives");
    }
    ExpectRegionsAgree("after the tree is gone");
    EXPECT_EQ(Platform::LiveRegionCount(), before);
}

}  // namespace
}  // namespace Kesh
