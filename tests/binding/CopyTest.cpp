// Deep copies: the copy holds what its source holds, its member trees are valid red-black
// trees (so later insertions keep them balanced), its texts are counted exactly, and a copy
// cut short by exhausted memory at any of its allocations leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include "binding/BindingProperty.h"
#include "binding/BlockAllocator.h"
#include "binding/InternTable.h"
#include "binding/MemberTree.h"
#include "binding/PropertyCells.h"
#include "binding/PropertyContext.h"
#include "platform/Allocator.h"
#include "tests/binding/TextCounts.h"
#include "tests/support/AllocationFailure.h"

namespace Kesh {
namespace {

using Testing::ExpectCounts;

std::string Text(const BindingProperty& value) {
    std::string out;
    switch (value.Kind()) {
        case PropertyKind::String:
            return "'" + std::string(value.GetStringView()) + "'";
        case PropertyKind::Signed:
            return std::to_string(value.GetSigned());
        case PropertyKind::Collection:
            out = "[";
            for (const BindingProperty& element : value.Elements()) out += Text(element) + ",";
            return out + "]";
        case PropertyKind::Structure:
            out = "{";
            for (const MemberNode& member : value.Members()) out += member.Key() + (":" + Text(member.Value())) + ",";
            return out + "}";
        default:
            return PropertyKindName(static_cast<unsigned>(value.Kind()));
    }
}

const MemberNode* ParentOf(const MemberNode* node) {
    return reinterpret_cast<const MemberNode*>(node->parentAndColor & ~std::uintptr_t{1});
}
bool IsRed(const MemberNode* node) { return node != nullptr && (node->parentAndColor & 1) != 0; }

// The black height of the subtree, or -1 when it breaks a rule: a child's parent link,
// a red node with a red child, unequal black counts.
int BlackHeight(const MemberNode* node, const MemberNode* parent, std::size_t& count) {
    if (node == nullptr) return 1;
    ++count;
    if (ParentOf(node) != parent || (IsRed(node) && (IsRed(node->left) || IsRed(node->right)))) return -1;
    const int left = BlackHeight(node->left, node, count);
    const int right = BlackHeight(node->right, node, count);
    if (left < 0 || left != right) return -1;
    return left + (IsRed(node) ? 0 : 1);
}

// Every structure below value: a valid red-black tree with a black root, as many nodes as
// it counts, keys strictly ascending in iteration order.
void ExpectValidTrees(const BindingProperty& value, const std::string& where = "root") {
    for (const BindingProperty& element : value.Elements()) ExpectValidTrees(element, where + "[]");
    if (value.Kind() != PropertyKind::Structure) return;
    const StructureCell& cell = MemberTree::CellOf(const_cast<BindingProperty&>(value));
    std::size_t count = 0;
    EXPECT_GT(BlackHeight(cell.root, nullptr, count), 0) << where;
    EXPECT_FALSE(IsRed(cell.root)) << where;
    EXPECT_EQ(count, cell.count) << where;
    std::string previous;
    bool first = true;
    for (const MemberNode& member : value.Members()) {
        if (!first) {
            EXPECT_LT(MemberTree::Compare(previous, member.KeyView()), 0) << where << "." << member.Key();
        }
        previous = member.KeyView();
        first = false;
        ExpectValidTrees(member.Value(), where + "." + previous);
    }
}

// Keys added one by one in a scrambled order: a tree shaped by rebalancing, with red nodes.
BindingProperty Scrambled() {
    BindingProperty tree;
    for (int i = 0; i < 500; ++i) {
        const int k = (i * 7919) % 500;
        BindingProperty& member = tree["k" + std::to_string(1000 + k)];
        if (k % 5 == 0) {
            member["name"] = "v" + std::to_string(k % 7);
            member["same"] = "k" + std::to_string(1000 + k);  // a value that is also a key
        } else {
            member = k % 2 == 0 ? BindingProperty("v" + std::to_string(k % 7)) : BindingProperty(k);
        }
    }
    return tree;
}

// Structures nested past the depth a copy recurses to, each with members on both sides of
// the one it nests, and several nested ones at the bottom.
BindingProperty Deep() {
    BindingProperty tree;
    BindingProperty* node = &tree;
    for (int depth = 0; depth < 60; ++depth) {
        for (const char* key : {"a", "b", "c", "x", "y", "z"}) (*node)[key] = depth;
        node = &(*node)["m"];
    }
    for (int i = 0; i < 40; ++i) (*node)["n" + std::to_string(i)]["leaf"] = i;
    return tree;
}

// An array too long for the context's spans, of structures with recurring keys and texts.
BindingProperty Long() {
    BindingProperty tree;
    for (int i = 0; i < 600; ++i) {
        BindingProperty& item = tree["items"].Append();
        item["id"] = i;
        item["kind"] = i % 3 == 0 ? "even" : "odd";
        item["tags"].Append() = "t" + std::to_string(i % 40);
    }
    return tree;
}

TEST(Copy, CopiesHoldTheSourceInValidTreesThatStayValidWhenGrown) {
    const BindingProperty scrambled = Scrambled();
    const BindingProperty deep = Deep();
    const BindingProperty long_ = Long();
    const struct {
        const char* name;
        const BindingProperty& source;
    } cases[] = {
        {"keys inserted out of order", scrambled},
        {"nested deeper than the copy recurses", deep},
        {"a long array of structures", long_},
        {"a member of a tree", scrambled.GetMember("k1005")},
        {"an element of a tree", long_.GetMember("items").GetElement(7)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = Text(c.source);
        BindingProperty copy(c.source);
        EXPECT_EQ(Text(copy), text);
        ExpectValidTrees(copy);
        ExpectCounts(copy);
        // Insertions rebalance by the copied colours: a wrong colour breaks the tree here.
        BindingProperty* inner = &copy;
        while (inner->Kind() == PropertyKind::Structure && inner->HasMember("m")) inner = &(*inner)["m"];
        for (int i = 0; i < 200; ++i) {
            copy["added" + std::to_string(i * 37 % 200)] = i;
            (*inner)["k" + std::to_string(1000 + i * 13 % 700)] = "again";
        }
        ExpectValidTrees(copy);
        ExpectCounts(copy);
    }
}

TEST(Copy, AMemberCopiedWithinItsTreeSharesTheTreesTexts) {
    BindingProperty tree = Scrambled();
    const std::string member = Text(tree.GetMember("k1010"));
    tree["copy"] = tree.GetMember("k1010");
    tree["k1010"]["name"] = "changed";  // the copy is a copy, not a view
    EXPECT_EQ(Text(tree.GetMember("copy")), member);
    ExpectValidTrees(tree);
    ExpectCounts(tree);
}

// Memory that runs out at each allocation of a copy in turn (the entry map growing, the
// way down a wide tree growing past its inline steps, containers left for later, a long
// array): the copy throws, the destination keeps what it held with its counts right, and
// once it is dropped every allocation and block is back.
TEST(Copy, ACopyCutShortAtAnyAllocationLeavesNothingBehind) {
    BindingProperty source = Deep();
    source["long"] = Long();
    source["scrambled"] = Scrambled();
    for (int i = 0; i < 40; ++i) source["recurring"]["r" + std::to_string(i)] = "r" + std::to_string(i);
    const std::string text = Text(source);
    const auto live = [] {
        const Memory::AllocationCounters counters = Memory::ReadCounters();
        return std::pair{static_cast<std::int64_t>(counters.allocationCount - counters.freeCount),
                         BlockAllocator::Instance().ReadCounts().blocksInUse};
    };
    { BindingProperty warm(source); }  // the block allocator's own tables are in place
    std::uint64_t failures = 0;
    for (std::uint64_t n = 1;; ++n) {
        const auto before = live();
        bool triggered = false;
        {
            BindingProperty destination;
            destination["before"] = "r1";
            bool threw = false;
            {
                Testing::AllocationFailure failure(n, true);
                try {
                    destination["copy"] = source;
                } catch (const std::bad_alloc&) {
                    threw = true;
                }
                triggered = failure.Triggered();
            }
            if (triggered) {
                ++failures;
                EXPECT_TRUE(threw) << "allocation " << n;
                EXPECT_TRUE(destination.GetMember("copy").IsEmpty()) << "allocation " << n;
            } else {
                EXPECT_EQ(Text(destination.GetMember("copy")), text);
            }
            ExpectValidTrees(destination);
            ExpectCounts(destination);
        }
        EXPECT_EQ(live(), before) << "allocation " << n;
        if (!triggered) break;
    }
    EXPECT_GE(failures, 4u);
}

}  // namespace
}  // namespace Kesh
