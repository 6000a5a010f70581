#include "binding/PropertyContext.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/BlockAllocator.h"
#include "binding/InternTable.h"
#include "platform/VirtualMemory.h"
#include "platform/Allocator.h"

namespace Kesh {
namespace {

std::uint64_t LiveBytes() {
    const Memory::AllocationCounters counters = Memory::ReadCounters();
    return counters.bytesAllocated - counters.bytesFreed;
}

// The one-pass cut and hash gives what cutting and then hashing gives (the FNV-1a test
// vectors), for texts with a NUL inside, at their start or at their end.
TEST(InternTable, HashesUpToTheFirstNul) {
    using namespace std::string_literals;
    const struct {
        std::string text;
        std::string_view cut;
        std::uint32_t hash;
    } cases[] = {
        {"", "", 0x811c9dc5u},           {"a", "a", 0xe40c292cu},          {"foobar", "foobar", 0xbf9cf968u},
        {"foobar\0tail"s, "foobar", 0xbf9cf968u}, {"\0foobar"s, "", 0x811c9dc5u}, {"a\0"s, "a", 0xe40c292cu},
    };
    for (const auto& c : cases) {
        const HashedText hashed = HashUpToNul(c.text);
        EXPECT_EQ(hashed.text, c.cut) << c.cut;
        EXPECT_EQ(hashed.hash, c.hash) << c.cut;
        EXPECT_EQ(InternedString::Hash(c.cut.data(), c.cut.size()), c.hash) << c.cut;
    }
    // Interning by either route finds the one entry.
    PropertyContext context;
    const InternedString* entry = context.Strings().Intern(cases[3].text);
    EXPECT_EQ(entry->View(), "foobar");
    EXPECT_EQ(context.Strings().Intern("foobar"), entry);
    EXPECT_EQ(context.Strings().Find(cases[3].text), entry);
    context.Strings().Release(entry);
    context.Strings().Release(entry);
    EXPECT_EQ(context.Strings().Size(), 0u);

    // Texts whose hashes collide are two entries, each found by its own text only.
    const InternedString* costarring = context.Strings().Intern("costarring");
    EXPECT_EQ(context.Strings().Find("liquid"), nullptr);
    const InternedString* liquid = context.Strings().Intern("liquid");
    EXPECT_EQ(liquid->hash, costarring->hash);
    EXPECT_NE(liquid, costarring);
    EXPECT_EQ(context.Strings().Find("costarring"), costarring);
    EXPECT_EQ(context.Strings().Intern("liquid"), liquid);
}

TEST(InternTable, CountsReferencesAndRemovesUnusedTexts) {
    BindingProperty tree;
    tree["a"] = "shared";
    tree["b"] = "shared";
    InternTable& strings = tree.Context()->Strings();
    const InternedString* shared = strings.Find("shared");
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(shared->ReferenceCount(), 2u);
    EXPECT_EQ(strings.Size(), 3u);  // "a", "b", "shared"
    // A key and a value with the same text are one entry.
    tree["shared"] = 1;
    EXPECT_EQ(shared->ReferenceCount(), 3u);
    EXPECT_EQ(strings.Size(), 3u);
    tree["a"].Clear();
    EXPECT_EQ(shared->ReferenceCount(), 2u);
    tree["b"] = 2;
    EXPECT_EQ(strings.Find("shared"), shared);  // still held by the key
    tree.Clear();
    EXPECT_EQ(strings.Find("shared"), nullptr);
    EXPECT_EQ(strings.Size(), 0u);

    // The empty text is the one shared, uncounted entry.
    tree["e"] = "";
    tree["f"] = std::string_view("\0hidden", 7);  // a text ends at its first NUL
    EXPECT_EQ(strings.Find(""), &EmptyInternedString());
    EXPECT_EQ(EmptyInternedString().ReferenceCount(), 0u);
    EXPECT_EQ(strings.Size(), 2u);  // only the keys
    EXPECT_STREQ(tree.GetMember("f").GetString("x"), "");

    // Many texts, and long ones (beyond the largest cell), are all found again.
    for (int i = 0; i < 100; ++i) tree[std::to_string(i)] = "value " + std::to_string(i);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(strings.Find("value " + std::to_string(i))->ReferenceCount(), 1u) << i;
    const std::string longText(500, 'L');
    tree["x"] = longText;
    tree["y"] = longText;
    EXPECT_EQ(strings.Find(longText)->ReferenceCount(), 2u);
    EXPECT_EQ(tree.GetMember("y").GetStringView(), longText);
    tree.Clear();
    EXPECT_EQ(strings.Size(), 0u);
}

// Sizes round up to their class; a freed cell is the next one of its class handed out;
// the last storage cut grows where it lies; and when everything handed out is back, the
// runs go and the context's own block is cut afresh.
TEST(PropertyContext, CutsClassesFromRunsAndGivesTheRunsBackWhenEmpty) {
    struct Case {
        std::size_t size;
        std::size_t capacity;
    };
    for (const Case c : {Case{0, 8}, Case{1, 8}, Case{8, 8}, Case{9, 16}, Case{72, 72}, Case{128, 128},
                         Case{129, 256}, Case{256, 256}, Case{257, 512}, Case{4096, 4096}, Case{4097, 4097}}) {
        EXPECT_EQ(PropertyContext::StorageCapacity(c.size), c.capacity) << c.size;
    }

    const BlockAllocator::Counts start = BlockAllocator::Instance().ReadCounts();
    PropertyContext* context = PropertyContext::Create(1);
    EXPECT_EQ(context->BlockCount(), 1u);
    EXPECT_EQ(BlockAllocator::Instance().ReadCounts().blocksInUse, start.blocksInUse + 1);

    void* first = context->AllocateCell(24);
    void* second = context->AllocateCell(20);  // the same class
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(first) % 8, 0u);
    EXPECT_NE(first, second);
    context->FreeCell(first, 24);
    EXPECT_EQ(context->AllocateCell(17), first);

    // Growing the last span cut keeps its place and its bytes.
    auto* span = static_cast<unsigned char*>(context->AllocateStorage(200));
    std::memset(span, 0x5A, 200);
    EXPECT_EQ(context->GrowStorage(span, 200, 400, 200), span);
    EXPECT_EQ(span[199], 0x5A);
    std::memset(span, 0x5B, 400);
    // Past the own block: runs of growing size, up to whole regions.
    std::vector<void*> spans;
    while (context->BlockCount() < 20) {
        spans.push_back(context->AllocateStorage(4096));
        std::memset(spans.back(), 0xEE, 4096);
    }
    const std::size_t held = context->BlockCount();
    EXPECT_EQ(BlockAllocator::Instance().ReadCounts().blocksInUse, start.blocksInUse + held);
    // A span that is not the last cut moves.
    void* moved = context->GrowStorage(span, 400, 1000, 400);
    EXPECT_NE(moved, static_cast<void*>(span));
    EXPECT_EQ(static_cast<unsigned char*>(moved)[399], 0x5B);

    for (void* each : spans) context->FreeStorage(each, 4096);
    context->FreeCell(second, 20);
    context->FreeCell(first, 24);
    EXPECT_EQ(context->BlockCount(), held);  // one span is still out
    context->FreeStorage(moved, 1000);
    EXPECT_EQ(context->BlockCount(), 1u);
    EXPECT_EQ(BlockAllocator::Instance().ReadCounts().blocksInUse, start.blocksInUse + 1);
    std::memset(context->AllocateStorage(2048), 0x11, 2048);  // the own block, fresh again

    // Dropped with storage still out: every block goes back.
    for (int i = 0; i < 3000; ++i) context->AllocateCell(40);
    EXPECT_GT(context->BlockCount(), 1u);
    PropertyContext::Destroy(context);
    const BlockAllocator::Counts end = BlockAllocator::Instance().ReadCounts();
    EXPECT_EQ(end.blocksInUse, start.blocksInUse);
    EXPECT_EQ(end.regions, start.regions);
}

// 100,000 members under 1,000 structures, with shared keys and texts, enums and numbers,
// plus one flat structure of 20,000 distinct keys.
void BuildTree(BindingProperty& root, std::size_t groups, std::size_t membersPerGroup) {
    BindingProperty& list = root["groups"];
    list.MakeCollection();
    list.Reserve(groups);
    for (std::size_t g = 0; g < groups; ++g) {
        BindingProperty& group = list.Append();
        for (std::size_t m = 0; m < membersPerGroup; ++m) {
            BindingProperty& member = group["member" + std::to_string(m)];
            switch (m % 4) {
                case 0: member = static_cast<std::int64_t>(g * m); break;
                case 1: member = "text " + std::to_string(m); break;
                case 2: member.AssignEnum(static_cast<std::int32_t>(m), nullptr); break;
                default: member["inner"] = 0.5; break;
            }
        }
    }
    BindingProperty& flat = root["flat"];
    for (std::size_t i = 0; i < groups * membersPerGroup / 5; ++i) flat["key" + std::to_string(i)] = true;
}

// The block allocator's count of regions (in use and spare) agrees with the system's: a
// region forgotten on its way back to the system would leave them apart.
void ExpectRegionsAgree(const char* when) {
    const BlockAllocator::Counts counts = BlockAllocator::Instance().ReadCounts();
    EXPECT_EQ(counts.regions + counts.spareRegions, Platform::LiveRegionCount()) << when;
    EXPECT_LE(counts.spareRegions, BlockAllocator::kMaxSpareRegions) << when;
}

// An array whose storage is the largest span moves to the heap when it grows, and on
// from there; the span is not mistaken for a heap block.
TEST(PropertyContext, ArraysGrowFromTheLargestSpanToTheHeap) {
    constexpr std::size_t kSpanElements = PropertyContext::kMaxSpanSize / sizeof(BindingProperty);
    BindingProperty list;
    list.MakeCollection();
    list.Reserve(kSpanElements);
    for (std::size_t i = 0; i < 4 * kSpanElements; ++i) list.Append() = static_cast<std::int64_t>(i);
    ASSERT_EQ(list.Size(), 4 * kSpanElements);
    for (std::size_t i = 0; i < list.Size(); ++i) ASSERT_EQ(list.GetElement(i).GetSigned(-1), static_cast<std::int64_t>(i));
}

TEST(PropertyContext, LargeTreesCostFewHeapAllocationsAndGiveEverythingBack) {
    const BlockAllocator::Counts blocksAtStart = BlockAllocator::Instance().ReadCounts();
    const std::uint64_t liveAtStart = LiveBytes();
    const auto allocations = [] { return Memory::ReadCounters().allocationCount; };
    std::uint64_t firstBuild = allocations();
    std::uint64_t secondBuild = 0;
    std::size_t blocksFirstBuild = 0;
    {
        BindingProperty root;
        BuildTree(root, 1000, 100);
        firstBuild = allocations() - firstBuild;
        blocksFirstBuild = root.Context()->BlockCount();
        ASSERT_EQ(root.GetMember("groups").Size(), 1000u);
        ASSERT_EQ(root.GetMember("flat").Size(), 20000u);
        EXPECT_GT(BlockAllocator::Instance().ReadCounts().regions, blocksAtStart.regions + 1);
        ExpectRegionsAgree("while the tree lives");

        // Clearing gives the blocks back; building the same tree again draws no more.
        root.Clear();
        EXPECT_EQ(root.Context()->BlockCount(), 2u);  // the context's own run
        EXPECT_EQ(root.Context()->Strings().Size(), 0u);
        EXPECT_EQ(BlockAllocator::Instance().ReadCounts().blocksInUse, blocksAtStart.blocksInUse + 2);
        secondBuild = allocations();
        BuildTree(root, 1000, 100);
        secondBuild = allocations() - secondBuild;
        EXPECT_EQ(root.Context()->BlockCount(), blocksFirstBuild);

        // A deep copy of the whole tree costs about as little.
        const std::uint64_t beforeCopy = allocations();
        BindingProperty copy(root);
        EXPECT_LT(allocations() - beforeCopy, 100u);
    }
    // Well below one general allocation per value: the 120,000 values and their keys
    // come from pool cells. What remains is the context, bucket arrays, element arrays
    // (one per group) and the block allocator's bookkeeping.
    EXPECT_LT(firstBuild, 100u) << firstBuild;
    EXPECT_LE(secondBuild, firstBuild);
    EXPECT_GT(blocksFirstBuild, 100u);
    const BlockAllocator::Counts blocksAtEnd = BlockAllocator::Instance().ReadCounts();
    EXPECT_EQ(blocksAtEnd.blocksInUse, blocksAtStart.blocksInUse);
    EXPECT_EQ(blocksAtEnd.regions, blocksAtStart.regions);
    ExpectRegionsAgree("after the tree is gone");
    EXPECT_EQ(LiveBytes(), liveAtStart);
    std::printf("[ info ] build of 120,000 values: %llu heap allocations (%zu blocks); rebuild: %llu\n",
                static_cast<unsigned long long>(firstBuild), blocksFirstBuild,
                static_cast<unsigned long long>(secondBuild));
}

}  // namespace
}  // namespace Kesh
