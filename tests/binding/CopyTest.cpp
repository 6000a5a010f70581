// Deep copies: the copy holds what its source holds, its member trees are valid red-black
// trees (so later insertions keep them balanced), its texts are the destination's entries,
// counted exactly, and a copy cut short by exhausted memory at any of its allocations
// leaves nothing behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "binding/BindingProperty.h"
#include "binding/BlockAllocator.h"
#include "binding/PropertyContext.h"
#include "platform/Allocator.h"
#include "tests/binding/TreeChecks.h"
#include "tests/support/AllocationFailure.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Testing::ExpectCounts;
using Testing::ExpectValidTrees;
using Testing::Shape;

// Keys added one by one in a scrambled order: a tree shaped by rebalancing, with red
// nodes; texts that are keys and values at once, and the empty text as both.
BindingProperty Scrambled() {
    BindingProperty tree;
    for (int i = 0; i < 500; ++i) {
        const int k = (i * 7919) % 500;
        BindingProperty& member = tree["k" + std::to_string(1000 + k)];
        if (k % 5 == 0) {
            member["name"] = "v" + std::to_string(k % 7);
            member["same"] = "k" + std::to_string(1000 + k);  // a value that is also a key
            member[""] = "";
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

TEST(Copy, CopiesHoldTheSourceInValidTreesWithTheDestinationsTexts) {
    const BindingProperty scrambled = Scrambled();
    const BindingProperty deep = Deep();
    const BindingProperty long_ = Long();
    const struct {
        const char* name;
        const BindingProperty& source;
        const char* held;  // a text of the source that the destination holds already, or null: a fresh root
    } cases[] = {
        {"keys inserted out of order", scrambled, nullptr},
        {"keys inserted out of order, into a tree holding some texts", scrambled, "v3"},
        {"nested deeper than the copy recurses", deep, nullptr},
        {"a long array of structures, into a tree holding some texts", long_, "odd"},
        {"a member of a tree, whose key the destination holds", scrambled.GetMember("k1005"), "name"},
        {"an element of a tree", long_.GetMember("items").GetElement(7), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BindingProperty destination = c.held == nullptr ? BindingProperty(c.source) : BindingProperty();
        if (c.held != nullptr) {
            destination["before"] = c.held;
            destination[c.held] = "k1007";
            destination["copy"] = c.source;
        }
        BindingProperty& copy = c.held != nullptr ? destination["copy"] : destination;
        EXPECT_EQ(Shape(copy), Shape(c.source));
        ExpectValidTrees(destination);
        ExpectCounts(destination);
        // Insertions rebalance by the copied colours: a wrong colour breaks the tree here.
        BindingProperty* inner = &copy;
        while (inner->HasMember("m")) inner = &(*inner)["m"];
        for (int i = 0; i < 200; ++i) {
            copy["added" + std::to_string(i * 37 % 200)] = i;
            (*inner)["k" + std::to_string(1000 + i * 13 % 700)] = "again";
        }
        ExpectValidTrees(destination);
        ExpectCounts(destination);
        // Dropping the copy gives back exactly the references it took.
        copy.Clear();
        ExpectCounts(destination);
        EXPECT_EQ(destination.Context()->Strings().Size(), c.held != nullptr ? 4u : 0u);
    }
    // A copy within one tree counts the same entries again, and is a copy, not a view.
    BindingProperty tree = Scrambled();
    tree["copy"] = tree.GetMember("k1010");
    tree["k1010"]["name"] = "changed";
    EXPECT_EQ(Shape(tree.GetMember("copy")), Shape(scrambled.GetMember("k1010")));
    ExpectValidTrees(tree);
    ExpectCounts(tree);
    ExpectCounts(scrambled);  // the source is untouched
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
    const std::string shape = Shape(source);
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
                EXPECT_EQ(Shape(destination.GetMember("copy")), shape);
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
