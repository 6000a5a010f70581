#include "binding/BindingProperty.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "binding/PropertyContext.h"
#include "tests/binding/TreeChecks.h"
#include "tests/support/SmallStackThread.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Testing::ExpectValidTrees;
using Testing::Shape;

// Stands in for a registered enum type: only its address matters to a value.
alignas(8) const unsigned char fakeTypeStorage[8] = {};
const StaticType* const kFakeType = reinterpret_cast<const StaticType*>(fakeTypeStorage);

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

// Typed readers give their default for every other kind.
TEST(BindingProperty, TypedReadersNeverConvert) {
    const BindingProperty minus(-1);
    EXPECT_EQ(minus.GetSigned(5), -1);  // a signed 32-bit number is sign-extended
    EXPECT_EQ(minus.GetUnsigned(5), 5u);
    EXPECT_EQ(minus.GetFloat(0.5), 0.5);
    EXPECT_STREQ(minus.GetString("none"), "none");
    EXPECT_EQ(BindingProperty(0xFFFFFFFFu).GetSigned(5), 5);
    EXPECT_EQ(BindingProperty(0xFFFFFFFFu).GetUnsigned(), 0xFFFFFFFFu);
    EXPECT_EQ(BindingProperty(std::numeric_limits<std::int64_t>::min()).GetSigned(), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(BindingProperty(1.5).GetSigned(3), 3);
    EXPECT_EQ(BindingProperty(3).GetEnumNumber(), 0);
    EXPECT_EQ(BindingProperty(3).GetEnumType(), nullptr);
    EXPECT_TRUE(BindingProperty("x").GetBlob().empty());
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

// Keys arriving in order (a sorted document) must not make the member tree a list.
TEST(BindingProperty, MemberTreesStayValidInAnyInsertionOrder) {
    BindingProperty trees[3];  // ascending, descending, scrambled
    for (int i = 0; i < 4096; ++i) {
        trees[0]["k" + std::to_string(10000 + i)] = i;
        trees[1]["k" + std::to_string(20000 - i)] = i;
        trees[2]["k" + std::to_string(10000 + i * 7919 % 4096)] = i;
    }
    for (const BindingProperty& tree : trees) {
        ExpectValidTrees(tree);
        EXPECT_EQ(tree.Size(), 4096u);
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
