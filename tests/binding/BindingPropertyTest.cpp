#include "binding/BindingProperty.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "binding/BlockAllocator.h"
#include "binding/PropertyContext.h"
#include "platform/Allocator.h"
#include "tests/support/AllocationFailure.h"
#include "tests/support/SmallStackThread.h"
#include "tests/support/ValueShape.h"
#include "tests/binding/TextCounts.h"

namespace Kesh {
namespace {

using Testing::ExpectCounts;

// Stands in for a registered enum type: only its address matters to a value.
alignas(8) const unsigned char fakeTypeStorage[8] = {};
const StaticType* const kFakeType = reinterpret_cast<const StaticType*>(fakeTypeStorage);
using Bytes = std::vector<std::uint8_t>;
using Testing::Shape;

std::vector<std::string> Keys(const BindingProperty& value) {
    std::vector<std::string> keys;
    for (const MemberNode& member : value.Members()) keys.emplace_back(member.Key());
    return keys;
}

BindingProperty Collection(std::size_t elements) {
    BindingProperty value;
    value.MakeCollection();
    for (std::size_t i = 0; i < elements; ++i) value.Append() = 5;
    return value;
}

BindingProperty Structure(std::size_t members) {
    BindingProperty value;
    value.MakeStructure();
    for (std::size_t i = 0; i < members; ++i) value[std::string(1, static_cast<char>('a' + i))] = 5;
    return value;
}

TEST(BindingProperty, ConversionsFollowTheRuleOfEachKind) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        BindingProperty value;
        bool toBool;
        double toDouble;  // with a default of 9.5
        std::size_t size;
    } cases[] = {
        {"empty", BindingProperty(), false, 9.5, 0},
        {"true", true, true, 1.0, 1},
        {"false", false, false, 0.0, 1},
        {"signed 0", 0, false, 0.0, 1},
        {"signed -7", -7, true, -7.0, 1},
        {"unsigned 0", 0u, false, 0.0, 1},
        {"unsigned 2^60", std::uint64_t{1} << 60, true, 1152921504606846976.0, 1},
        {"float 0", 0.0, false, 0.0, 1},
        {"float -0", -0.0, false, -0.0, 1},
        {"float 0.25", 0.25, true, 0.25, 1},
        {"NaN", nan, true, nan, 1},
        {"text true", "true", true, 0.0, 4},
        {"text 1", "1", true, 1.0, 1},
        {"text with a number first", "-1e3 metres", false, -1000.0, 11},
        {"text 2.5abc", "2.5abc", false, 2.5, 6},
        {"text without a number", "letters", false, 0.0, 7},
        {"empty text", "", false, 0.0, 0},
        {"empty blob", Bytes{}, false, 9.5, 0},
        {"blob", Bytes{0}, true, 9.5, 1},
        {"enum 0", BindingProperty::FromEnum(0, kFakeType), false, 0.0, 1},
        {"enum -3", BindingProperty::FromEnum(-3, kFakeType), true, -3.0, 1},
        {"empty collection", Collection(0), false, 9.5, 0},
        {"collection", Collection(3), true, 9.5, 3},
        {"empty structure", Structure(0), false, 9.5, 0},
        {"structure", Structure(2), true, 9.5, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.value.ToBool(), c.toBool);
        if (std::isnan(c.toDouble)) {
            EXPECT_TRUE(std::isnan(c.value.ToDouble(9.5)));
        } else {
            EXPECT_EQ(c.value.ToDouble(9.5), c.toDouble);
        }
        EXPECT_EQ(c.value.Size(), c.size);
    }
    // Only the exact texts "true" and "1" are true; an Empty element makes a collection true.
    for (const char* text : {"TRUE", "True", "yes", "2", "true ", " 1", "10", "0"}) {
        EXPECT_FALSE(BindingProperty(text).ToBool()) << '"' << text << '"';
    }
    BindingProperty holesOnly;
    holesOnly.Element(0);
    EXPECT_TRUE(holesOnly.ToBool());
    EXPECT_STREQ(BindingProperty::KindName(9), "structure");
    EXPECT_STREQ(BindingProperty::KindName(10), "");
}

TEST(BindingProperty, TypedReadersNeverConvert) {
    const BindingProperty minus(-1);
    EXPECT_EQ(minus.Kind(), PropertyKind::Signed);
    EXPECT_EQ(minus.GetSigned(5), -1);  // a signed 32-bit number is sign-extended
    EXPECT_EQ(minus.GetUnsigned(5), 5u);
    EXPECT_EQ(minus.GetFloat(0.5), 0.5);
    EXPECT_STREQ(minus.GetString("none"), "none");
    const BindingProperty all(0xFFFFFFFFu);
    EXPECT_EQ(all.Kind(), PropertyKind::Unsigned);
    EXPECT_EQ(all.GetUnsigned(), 0xFFFFFFFFu);
    EXPECT_EQ(all.GetSigned(5), 5);
    EXPECT_EQ(BindingProperty(std::numeric_limits<std::int64_t>::min()).GetSigned(),
              std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(BindingProperty(1.5).GetSigned(3), 3);
    EXPECT_EQ(BindingProperty("12").GetSigned(3), 3);

    // Enum and blob readers give zero and an empty array for other kinds.
    EXPECT_EQ(BindingProperty(3).GetEnumNumber(), 0);
    EXPECT_EQ(BindingProperty(3).GetEnumType(), nullptr);
    const BindingProperty enumValue = BindingProperty::FromEnum(-2, kFakeType);
    EXPECT_EQ(enumValue.GetEnumNumber(), -2);
    EXPECT_EQ(enumValue.GetEnumType(), kFakeType);
    EXPECT_TRUE(BindingProperty("x").GetBlob().empty());
    EXPECT_EQ(BindingProperty(Bytes{1, 2, 3}).GetBlob(), (Bytes{1, 2, 3}));
}

TEST(BindingProperty, MembersComeOutInUnsignedByteOrderOfTheirKeys) {
    BindingProperty value;
    for (const char* key : {"beta", "\xC3\xA9t\xC3\xA9", "alpha", "Zed", "al", "_x", "Alpha", "alpha"}) value[key] = 1;
    // Upper case before lower case, a prefix before its extensions, bytes above 0x7F last.
    EXPECT_EQ(Keys(value), (std::vector<std::string>{"Alpha", "Zed", "_x", "al", "alpha", "beta", "\xC3\xA9t\xC3\xA9"}));
    // A key ends at its first NUL, like every text of a value.
    value[std::string_view("al\0zz", 5)] = 2;
    EXPECT_EQ(value.Size(), 7u);
    EXPECT_EQ(value.GetMember("al").GetSigned(), 2);
    EXPECT_TRUE(value.HasMember(std::string_view("alpha\0", 6)));

}

// The member tree's height, from any of its nodes.
std::size_t TreeHeight(const MemberNode* node) {
    while (node->parentAndColor > 1) node = reinterpret_cast<const MemberNode*>(node->parentAndColor & ~std::uintptr_t{1});
    std::size_t height = 0;
    std::vector<std::pair<const MemberNode*, std::size_t>> open{{node, 1}};
    while (!open.empty()) {
        const auto [at, depth] = open.back();
        open.pop_back();
        height = std::max(height, depth);
        for (const MemberNode* child : {at->left, at->right}) {
            if (child != nullptr) open.emplace_back(child, depth + 1);
        }
    }
    return height;
}

// Whatever the insertion order, the tree stays ordered, finds every key, and stays
// balanced: keys arriving in order (a sorted document) must not make it a list.
TEST(BindingProperty, MemberTreesStayOrderedAndBalancedInAnyInsertionOrder) {
    BindingProperty trees[3];  // ascending, descending, random
    std::vector<std::string> inserted[3];
    std::uint32_t seed = 12345;
    for (int i = 0; i < 4096; ++i) {
        seed = seed * 1103515245u + 12345u;
        const std::string keys[3] = {"k" + std::to_string(10000 + i), "k" + std::to_string(20000 - i),
                                     "k" + std::to_string(seed % 100000)};
        for (int t = 0; t < 3; ++t) {
            trees[t][keys[t]] = i;
            inserted[t].push_back(keys[t]);
        }
    }
    for (int t = 0; t < 3; ++t) {
        const std::vector<std::string> keys = Keys(trees[t]);
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << t;
        EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << t;
        EXPECT_EQ(keys.size(), trees[t].Size()) << t;
        for (const std::string& key : inserted[t]) EXPECT_TRUE(trees[t].HasMember(key)) << key;
        EXPECT_LE(TreeHeight(&*trees[t].Members().begin()), 2u * 13u) << t;  // 2 log2(n + 1)
    }
}

TEST(BindingProperty, WritesMakeContainersAndReadsNeverAddAnything) {
    BindingProperty value(2.5);
    EXPECT_EQ(&value.GetMember("x"), &BindingProperty::SharedEmpty());
    EXPECT_EQ(value.GetFloat(), 2.5);  // reading changed nothing
    BindingProperty& written = value.Member("x");
    EXPECT_EQ(value.Kind(), PropertyKind::Structure);
    EXPECT_EQ(&value.Member("x"), &written);  // an existing member is not added again
    EXPECT_EQ(value.Size(), 1u);

    BindingProperty list;
    list.Element(3) = 7;
    EXPECT_EQ(Shape(list), "[~,~,~,7]");
    EXPECT_EQ(&list.GetElement(4), &BindingProperty::SharedEmpty());
    // Writing an element of a Structure replaces it with a Collection.
    value[std::size_t{0}] = "first";
    EXPECT_EQ(Shape(value), "['first']");

    // Elements and members can be changed through iteration.
    for (BindingProperty& element : list.Elements()) element = 1;
    EXPECT_EQ(Shape(list), "[1,1,1,1]");
    BindingProperty members = Structure(2);
    for (MemberNode& member : members.Members()) member.Value() = member.KeyView();
    EXPECT_EQ(Shape(members), "{a:'a',b:'b'}");
    EXPECT_TRUE(BindingProperty(1).Elements().empty());
    EXPECT_EQ(BindingProperty(1).Members().begin(), BindingProperty(1).Members().end());

    // Missing member, element past the end, wrong kind at each step: the shared Empty or the default.
    BindingProperty tree;
    tree["list"].Element(1)["name"] = "n";
    const BindingProperty& read = tree;
    EXPECT_STREQ(read.GetMember("list").GetElement(1).GetMember("name").GetString(), "n");
    EXPECT_EQ(read.GetMember("missing").GetElement(0).GetMember("x").GetSigned(42), 42);
    EXPECT_EQ(read.GetMember("list").GetElement(9).GetString("dflt"), std::string("dflt"));
    EXPECT_TRUE(read.GetMember("list").GetMember("name").IsEmpty());
    EXPECT_TRUE(read.GetElement(0).IsEmpty());
    EXPECT_EQ(read.GetMember("list").Size(), 2u);

    // Collections longer than the limit are length errors that change nothing.
    BindingProperty empty;
    EXPECT_THROW(empty.Element(BindingProperty::kMaxElements), std::length_error);
    EXPECT_TRUE(empty.IsEmpty());
    empty.MakeCollection();
    EXPECT_THROW(empty.Reserve(BindingProperty::kMaxElements + 1), std::length_error);
    EXPECT_EQ(empty.Size(), 0u);
    BindingProperty scalar(1);
    scalar.Reserve(BindingProperty::kMaxElements + 1);  // only a Collection reserves
    EXPECT_EQ(scalar.GetSigned(), 1);
}

BindingProperty SampleTree() {
    BindingProperty tree;
    tree["name"] = "sample";
    tree["count"] = 3u;
    tree["ratio"] = 0.5;
    tree["flag"] = true;
    tree["bytes"] = Bytes{1, 2, 3};
    tree["phase"] = BindingProperty::FromEnum(6, kFakeType);
    BindingProperty& list = tree["list"];
    list.Element(0) = "name";  // the same text as a key
    list.Element(1)["inner"] = -4;
    list.Element(2);
    return tree;
}

void ExpectSampleTree(const BindingProperty& tree) {
    EXPECT_EQ(Shape(tree), "{bytes:<010203>,count:3u,flag:true,list:['name',{inner:-4},~],name:'sample',phase:#6,ratio:0.5}");
    EXPECT_EQ(tree.GetMember("phase").GetEnumType(), kFakeType);
}

TEST(BindingProperty, CopiesAreIndependentAndSelfAssignmentIsSafe) {
    BindingProperty source = SampleTree();
    BindingProperty copy(source);
    ASSERT_NE(copy.Context(), source.Context());
    EXPECT_TRUE(copy.OwnsContext());
    EXPECT_EQ(copy.GetMember("list").GetElement(1).Context(), copy.Context());
    EXPECT_FALSE(copy.GetMember("list").OwnsContext());
    source["list"].Element(1)["inner"] = 0;
    source = BindingProperty();
    ExpectSampleTree(copy);

    // Copy assignment replaces what the destination held.
    BindingProperty replaced;
    replaced["stale"] = 1;
    replaced = copy;
    EXPECT_FALSE(replaced.HasMember("stale"));
    BindingProperty& self = replaced;
    replaced = self;
    ExpectSampleTree(replaced);

    // A value replaced by a part of itself: the copy is finished before the old payload,
    // which holds the source, is released.
    BindingProperty tree;
    tree["wrapper"] = SampleTree();
    tree = tree.GetMember("wrapper");
    ExpectSampleTree(tree);
    BindingProperty text;
    text["t"] = "only here";
    text = text.GetMember("t").GetString();
    text = text.GetStringView();
    EXPECT_STREQ(text.GetString(), "only here");
    BindingProperty bytes(Bytes{9, 8});
    bytes = bytes.GetBlob();
    EXPECT_EQ(bytes.GetBlob(), (Bytes{9, 8}));
    // A value copied into its own member: the copy sees the member as it was then.
    BindingProperty loop;
    loop["a"] = 1;
    loop["self"] = loop;
    EXPECT_EQ(Shape(loop), "{a:1,self:{a:1,self:~}}");
}

TEST(BindingProperty, MoveSwapsRootsAndCopiesMembers) {
    BindingProperty source = SampleTree();
    PropertyContext* sourceContext = source.Context();
    BindingProperty target;
    target["old"] = "old";
    PropertyContext* targetContext = target.Context();

    // Two roots: the records change places, nothing is copied.
    target = std::move(source);
    EXPECT_EQ(target.Context(), sourceContext);
    ExpectSampleTree(target);
    EXPECT_TRUE(source.IsEmpty());
    EXPECT_EQ(source.Context(), targetContext);  // the old content went with it and was cleared
    EXPECT_EQ(targetContext->Strings().Size(), 0u);
    BindingProperty constructed(std::move(target));
    EXPECT_EQ(constructed.Context(), sourceContext);
    EXPECT_TRUE(target.IsEmpty());

    // A member does not own its context: it is copied into the root's and left Empty.
    BindingProperty root;
    root["member"] = constructed;
    BindingProperty taken = std::move(root["member"]);
    ExpectSampleTree(taken);
    EXPECT_NE(taken.Context(), root.Context());
    EXPECT_TRUE(root.HasMember("member"));
    EXPECT_TRUE(root.GetMember("member").IsEmpty());
    BindingProperty assigned;
    assigned["x"] = 1;
    root["again"] = constructed;
    assigned = std::move(root["again"]);
    ExpectSampleTree(assigned);
    EXPECT_TRUE(root.GetMember("again").IsEmpty());

    // A root moved into a member is copied into the member's tree.
    root["moved"] = std::move(constructed);
    EXPECT_TRUE(constructed.IsEmpty());
    ExpectSampleTree(root.GetMember("moved"));
    EXPECT_EQ(root.GetMember("moved").GetMember("list").Context(), root.Context());

    // A member moved over its own root; and a root moved into its own member, which
    // empties the root since the source always ends Empty.
    root = std::move(root["moved"]);
    ExpectSampleTree(root);
    root["list"] = std::move(root);
    EXPECT_TRUE(root.IsEmpty());
    BindingProperty self = SampleTree();
    BindingProperty& alias = self;
    self = std::move(alias);
    ExpectSampleTree(self);
}

// Texts that are keys and values at once, keys repeated across objects, the empty text,
// and one structure wide enough that its member tree has many levels.
BindingProperty SharedTextsTree() {
    BindingProperty tree;
    for (int i = 0; i < 4; ++i) {
        BindingProperty& item = tree["items"].Append();
        item["name"] = "id";
        item["id"] = i % 2 == 0 ? "name" : "only a value";
        item[""] = "";
        item["tags"].Append() = "id";
        item["tags"].Append() = i;
    }
    // Inserted out of order: the copy must keep the key order, not the insertion order.
    for (int i = 0; i < 300; ++i) {
        const int k = (i * 7919) % 300;
        tree["wide"]["k" + std::to_string(1000 + k)] = k % 3 == 0 ? BindingProperty("name") : BindingProperty(k);
    }
    return tree;
}

TEST(BindingProperty, CopiesTakeEachTextFromTheDestinationsTable) {
    const BindingProperty source = SharedTextsTree();
    const std::string shape = Shape(source);
    const struct {
        const char* name;
        const BindingProperty& from;
        const char* held;  // a text the destination tree already holds, or null
    } cases[] = {
        {"whole tree into a fresh root", source, nullptr},
        {"whole tree into a tree holding some texts", source, "name"},
        {"one item into a tree holding some texts", source.GetMember("items").GetElement(1), "only a value"},
        {"the wide structure into a fresh root", source.GetMember("wide"), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        BindingProperty destination;
        if (c.held != nullptr) {
            destination["before"] = c.held;
            destination[c.held] = "k1007";
        }
        BindingProperty& target = c.held != nullptr ? destination["copy"] : destination;
        target = c.from;
        EXPECT_EQ(Shape(target), Shape(c.from));
        ExpectCounts(destination);
        const BindingProperty& wide = target.GetMember("wide");
        if (wide.Kind() == PropertyKind::Structure) {
            // The cloned member tree still finds every key.
            for (const MemberNode& member : source.GetMember("wide").Members()) {
                EXPECT_TRUE(wide.HasMember(member.KeyView())) << member.Key();
            }
            EXPECT_FALSE(wide.HasMember("k0999"));
        }
        // Dropping the copy gives back exactly the references it took.
        target.Clear();
        ExpectCounts(destination);
        EXPECT_EQ(destination.Context()->Strings().Size(), c.held != nullptr ? 4u : 0u);
    }
    // A copy within one tree counts the same entries again.
    BindingProperty tree = SharedTextsTree();
    tree["again"] = tree.GetMember("items");
    ExpectCounts(tree);
    EXPECT_EQ(Shape(tree.GetMember("again")), Shape(source.GetMember("items")));
    EXPECT_EQ(Shape(source), shape);  // the source is untouched
    ExpectCounts(source);
}

// The depth found by walking a chain of Structures ("next") and Collections (element 0)
// down to the number 1234, or 0.
std::size_t WalkChain(const BindingProperty& root) {
    std::size_t depth = 0;
    for (const BindingProperty* node = &root;; ++depth) {
        if (node->Kind() == PropertyKind::Structure) {
            node = &node->GetMember("next");
        } else if (node->Kind() == PropertyKind::Collection) {
            node = &node->GetElement(0);
        } else {
            return node->GetSigned() == 1234 ? depth : 0;
        }
    }
}

TEST(BindingProperty, DeepTreesAreCopiedMovedAndDestroyedOnASmallStack) {
    constexpr std::size_t kDepth = 100000;
    bool checked = false;
    Testing::RunOnSmallStack([&] {
        BindingProperty root;
        BindingProperty* node = &root;
        for (std::size_t i = 0; i < kDepth; ++i) node = i % 2 == 0 ? &(*node)["next"] : &node->Element(0);
        *node = 1234;
        ASSERT_EQ(WalkChain(root), kDepth);
        BindingProperty copy(root);
        ASSERT_EQ(WalkChain(copy), kDepth);
        BindingProperty holder;
        holder["deep"] = std::move(copy);  // a copy across contexts, then a release
        EXPECT_EQ(WalkChain(holder.GetMember("deep")), kDepth);
        root.Clear();
        EXPECT_TRUE(root.IsEmpty());
        checked = true;
    });  // holder is destroyed on the small stack too
    EXPECT_TRUE(checked);
}

}  // namespace
}  // namespace Kesh
