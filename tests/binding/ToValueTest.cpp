#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/ConversionDepth.h"
#include "binding/EnumDeclaration.h"
#include "binding/NativeToValue.h"
#include "binding/StructDeclaration.h"
#include "platform/Allocator.h"
#include "tests/support/SmallStackThread.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Testing::Shape;

enum class Wide : std::int64_t { Zero = 0, Big = 0x500000003LL };
enum class Tiny : std::int8_t { Minus = -1, Zero = 0 };

struct Unregistered {};

struct Leaf {
    std::int32_t value = 0;
};

struct Sparse {
    std::int32_t number = 0;
    std::string text;
    std::vector<std::int32_t> list;
    float ratio = 0.0f;
    Wide wide = Wide::Zero;
    BindingProperty object;
    Leaf leaf;
    std::vector<Leaf> leaves;
    std::optional<std::int32_t> maybe;
    bool always = false;
};

struct Holder {
    std::string name;
    Unregistered inner;
    std::string after;
};

struct Mixed {
    float single = 0.0f;
    Tiny tiny = Tiny::Zero;
    Wide wide = Wide::Zero;
    std::vector<bool> bits;
    std::unordered_map<std::string, std::int32_t> counts;
    std::unordered_map<std::string, Leaf> leaves;
    Blob bytes;
};

struct Nothing {};

// A converter written by hand for a member only it understands: a counter that the
// value shows doubled.
class DoublingDescriptor final : public TypeDescriptor {
public:
    void Assign(ConversionResult& result, void* native, const BindingProperty& input, const char*,
                const TypeRegistry*) const override {
        *static_cast<std::int32_t*>(native) = static_cast<std::int32_t>(input.GetSigned() / 2);
        (void)result;
    }
    void ToValue(ConversionResult& result, const void* native, const TypeRegistry*) const override {
        result.SetSuccess();
        result.Value() = *static_cast<const std::int32_t*>(native) * 2;
    }
};

struct Custom {
    std::int32_t counter = 0;
    Nothing nothing;
};

struct Node {
    std::string name;
    std::vector<Node> children;
};

class ToValueTest : public ::testing::Test {
protected:
    ToValueTest() {
        registry.RegisterBuiltins();
        EnumDeclaration<Wide>(registry, "Wide").Value("Zero", Wide::Zero).Value("Big", Wide::Big);
        EnumDeclaration<Tiny>(registry, "Tiny").Value("Minus", Tiny::Minus).Value("Zero", Tiny::Zero);
        StructDeclaration<Leaf>(registry, "Leaf").Field("value", &Leaf::value);
        const FieldOptions omit{.flags = kFieldOmitDefault};
        StructDeclaration<Sparse>(registry, "Sparse")
            .Field("number", &Sparse::number, omit)
            .Field("text", &Sparse::text, omit)
            .Field("list", &Sparse::list, omit)
            .Field("ratio", &Sparse::ratio, omit)
            .Field("wide", &Sparse::wide, omit)
            .Field("object", &Sparse::object, omit)
            .Field("leaf", &Sparse::leaf, omit)
            .Field("leaves", &Sparse::leaves, omit)
            .Field("maybe", &Sparse::maybe, omit)
            .Field("always", &Sparse::always);
        StructDeclaration<Holder>(registry, "Holder")
            .Field("name", &Holder::name)
            .Field("inner", &Holder::inner)
            .Field("after", &Holder::after);
        StructDeclaration<Mixed>(registry, "Mixed")
            .Field("single", &Mixed::single)
            .Field("tiny", &Mixed::tiny)
            .Field("wide", &Mixed::wide)
            .Field("bits", &Mixed::bits)
            .Field("counts", &Mixed::counts)
            .Field("leaves", &Mixed::leaves)
            .Field("bytes", &Mixed::bytes);
        StructDeclaration<Node>(registry, "Node").Field("name", &Node::name).Field("children", &Node::children);
        StructDeclaration<Nothing>(registry, "Nothing");
        StructDeclaration<Custom> custom(registry, "Custom");
        custom.Builder().AddField("counter", "", 0, StaticTypeOf<std::int32_t>(), {TypeKind::Callback}, {},
                                  kFieldOmitDefault, std::make_unique<DoublingDescriptor>(), false);
        custom.Field("nothing", &Custom::nothing, FieldOptions{.flags = kFieldOmitDefault});
    }

    TypeRegistry registry;
};

TEST_F(ToValueTest, DefaultsAreLeftOutOnlyWhenAsked) {
    Sparse sparse;
    ConversionResult result = ToValue(sparse, &registry);
    ASSERT_TRUE(result.Ok());
    // Every member with flags 1 holds its default; "always" has flags 0, and "leaf"
    // converts to a Structure with a member, which is no default.
    EXPECT_EQ(result.Value().Size(), 2u);
    EXPECT_TRUE(result.Value().HasMember("always"));
    EXPECT_EQ(result.Value().GetMember("leaf").GetMember("value").Kind(), PropertyKind::Signed);

    sparse.number = 1;
    sparse.text = "t";
    sparse.list = {0};
    sparse.ratio = std::nanf("");
    sparse.wide = Wide::Big;
    sparse.object = false;  // a default object is left out as well
    sparse.leaf.value = 2;
    sparse.leaves.resize(1);
    sparse.maybe = 0;  // the optional's value 0 is a default too
    result = ToValue(sparse, &registry);
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(Shape(result.Value()),
              "{always:false,leaf:{value:2},leaves:[{value:0}],list:[0],number:1,ratio:nan,text:'t',wide:#3}");
    sparse.maybe = 4;
    result = ToValue(sparse, &registry);
    EXPECT_EQ(result.Value().GetMember("maybe").GetSigned(), 4);
}

TEST_F(ToValueTest, OtherDescriptorsAndStructsWithoutMembers) {
    Custom custom;
    ConversionResult result = ToValue(custom, &registry);
    ASSERT_TRUE(result.Ok());
    // Both are defaults only once converted: 0 doubled, and a Structure with no members.
    EXPECT_EQ(result.Value().Size(), 0u);
    custom.counter = 21;
    result = ToValue(custom, &registry);
    EXPECT_EQ(result.Value().GetMember("counter").GetSigned(), 42);
    BindingProperty input;
    input["counter"] = 10;
    ConversionResult back;
    ASSERT_TRUE(AssignNative(back, custom, input, "custom", &registry));
    EXPECT_EQ(custom.counter, 5);
}

TEST_F(ToValueTest, ScalarsEnumsMapsAndBits) {
    Mixed mixed;
    mixed.single = 0.1f;
    mixed.tiny = Tiny::Minus;
    mixed.wide = static_cast<Wide>(0x7FFFFFFF00000005LL);
    mixed.bits = {true, false, true};
    mixed.counts["b"] = 2;
    mixed.counts["a"] = 1;
    mixed.leaves["z"].value = 26;
    mixed.bytes = {0, 255};
    const ConversionResult result = ToValue(mixed, &registry);
    ASSERT_TRUE(result.Ok()) << result.ErrorMessage();
    // A float widens exactly; map members come out in key order.
    EXPECT_EQ(Shape(result.Value()), "{bits:[true,false,true],bytes:<00ff>,counts:{a:1,b:2},leaves:{z:{value:26}},"
                                     "single:0.10000000149011612,tiny:#-1,wide:#5}");
    EXPECT_EQ(result.Value().GetMember("tiny").GetEnumType(), &StaticTypeOf<Tiny>());

    // An 8-byte enum on its own keeps only its low 32 bits.
    EXPECT_EQ(ToValue(static_cast<Wide>(0x100000000LL), &registry).Value().GetEnumNumber(), 0);
    EXPECT_EQ(ToValue(std::uint64_t{UINT64_MAX}, nullptr).Value().GetUnsigned(), UINT64_MAX);
    EXPECT_EQ(ToValue(std::int8_t{-5}, nullptr).Value().GetSigned(), -5);
}

TEST_F(ToValueTest, UnregisteredStructsFail) {
    ConversionResult result = ToValue(Unregistered{}, &registry);
    EXPECT_STREQ(result.ErrorMessage(), "Couldn't convert native value because it's an unregistered structure.");
    // Nothing built before the failure survives.
    Holder holder;
    holder.name = "built";
    result = ToValue(holder, &registry);
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(result.Value().Size(), 1u);  // the "error" member alone
    EXPECT_FALSE(ToValue(Leaf{}, nullptr).Ok());

}

TEST_F(ToValueTest, NestedValuesAreBuiltInPlace) {
    std::vector<Leaf> leaves(200);
    // Each nested value built aside would cost a context of its own.
    const Memory::AllocationCounters before = Memory::ReadCounters();
    const ConversionResult result = ToValue(leaves, &registry);
    const Memory::AllocationCounters after = Memory::ReadCounters();
    ASSERT_TRUE(result.Ok());
    EXPECT_EQ(result.Value().Size(), 200u);
    EXPECT_LT(after.allocationCount - before.allocationCount, 20u);
}

TEST_F(ToValueTest, DeepNativeTreesStopAtTheLimit) {
    Testing::RunOnSmallStack([&] {
        Node root;
        Node* node = &root;
        for (std::size_t i = 0; i < ConversionDepth::kMaxDepth; ++i) {
            node = &node->children.emplace_back();
        }
        ConversionResult result = ToValue(root, &registry);
        EXPECT_STREQ(result.ErrorMessage(), "Couldn't convert native value because it's nested more than 256 levels deep.");
        node = &root;
        for (std::size_t i = 0; i + 2 < ConversionDepth::kMaxDepth; ++i) {
            node = &node->children[0];
        }
        node->children.clear();
        result = ToValue(root, &registry);
        EXPECT_TRUE(result.Ok()) << result.ErrorMessage();
    });
}

TEST(ConversionResult, CarriesItsMessageInTheErrorMember) {
    ConversionResult result;
    EXPECT_TRUE(result.Ok());
    EXPECT_STREQ(result.ErrorMessage(), "");
    result.Value() = 5;
    result.SetError("Couldn't convert.");
    EXPECT_FALSE(result.Ok());
    EXPECT_EQ(Shape(result.Value()), "{error:'Couldn't convert.'}");

    // A message that is the result's own error text survives the clearing; a copy keeps it.
    const std::string longMessage(200, 'm');
    result.SetError(longMessage);
    result.SetError(result.ErrorMessage());
    const ConversionResult copy = result;
    EXPECT_EQ(Shape(result.Value()), "{error:'" + longMessage + "'}");
    EXPECT_FALSE(copy.Ok());
    EXPECT_EQ(copy.ErrorMessage(), longMessage);

    // An overwritten "error" member gives no message; a success has none, whatever its value holds.
    result.Value()["error"] = 404;
    EXPECT_FALSE(result.Ok());
    EXPECT_STREQ(result.ErrorMessage(), "");
    result.SetSuccess();
    EXPECT_TRUE(result.Ok());
    EXPECT_TRUE(result.Value().IsEmpty());
    result.Value()["error"] = "not an error";
    EXPECT_STREQ(result.ErrorMessage(), "");

    EXPECT_STREQ(ConversionResult::Failure("bad").ErrorMessage(), "bad");
    EXPECT_TRUE(ConversionResult::Success().Ok());
}

}  // namespace
}  // namespace Kesh
