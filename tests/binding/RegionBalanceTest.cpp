#include <gtest/gtest.h>

#include <string>

#include "binding/BindingProperty.h"
#include "binding/BlockAllocator.h"
#include "platform/VirtualMemory.h"

namespace Kesh {
namespace {

// The block allocator's own count (regions in use and spares) and the system's count of
// regions must agree: a region forgotten on its way back to the system would leave them
// apart.
void ExpectRegionsAgree(const char* when) {
    const BlockAllocator::Counts counts = BlockAllocator::Instance().ReadCounts();
    EXPECT_EQ(counts.regions + counts.spareRegions, Platform::LiveRegionCount()) << when;
    EXPECT_LE(counts.spareRegions, BlockAllocator::kMaxSpareRegions) << when;
}

std::size_t RegionsInUse() { return BlockAllocator::Instance().ReadCounts().regions; }

TEST(RegionBalance, ValueTreesGiveEveryRegionBack) {
    ExpectRegionsAgree("before");
    const std::size_t before = RegionsInUse();
    {
        // Many small headers and member nodes: enough cells to need several regions.
        BindingProperty root;
        for (int i = 0; i < 20000; ++i) {
            BindingProperty& item = root.Append();
            item["name"] = std::string("item ") + std::to_string(i);
            item["tags"].Append() = "a";
        }
        EXPECT_GT(RegionsInUse(), before + 1);
        ExpectRegionsAgree("while the tree lives");
    }
    ExpectRegionsAgree("after the tree is gone");
    EXPECT_EQ(RegionsInUse(), before);
}

}  // namespace
}  // namespace Kesh
