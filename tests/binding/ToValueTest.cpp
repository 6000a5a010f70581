#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/ConversionDepth.h"
#include "binding/EnumDeclaration.h"
#include "binding/HostValueConversion.h"
#include "binding/NativeAssign.h"
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
// value shows doubled, and that cannot be negative.
class DoublingDescriptor final : public TypeDescriptor {
public:
    void Assign(ConversionResult& result, void* native, const BindingProperty& input, const char*,
                const TypeRegistry*) const override {
        *static_cast<std::int32_t*>(native) = static_cast<std::int32_t>(input.GetSigned() / 2);
        (void)result;
    }
    void ToValue(ConversionResult& result, const void* native, const TypeRegistry*) const override {
        const std::int32_t counter = *static_cast<const std::int32_t*>(native);
        if (counter < 0) return result.SetError("The counter is negative.");
        result.SetSuccess();
        result.Value() = counter * 2;
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
    custom.counter = -1;  // its failure is the struct's
    EXPECT_STREQ(ToValue(custom, &registry).ErrorMessage(), "The counter is negative.");
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

// Declarations: the field records a struct declaration makes from its member types.
enum class Level : std::uint8_t { Low = 1, High = 2 };

struct Base {
    std::int32_t id = 0;
};

struct Item : Base {
    double weight = 0.0;
    Level level = Level::Low;
    std::optional<std::string> note;
    std::vector<Level> levels;
    std::unordered_map<std::string, Blob> blobs;
    Base base;
};

TEST(DeclarationTest, FieldsComeFromMemberTypes) {
    TypeRegistry registry;
    EnumDeclaration<Level>(registry, "Level").Value("Low", Level::Low).Value("High", Level::High);
    StructDeclaration<Base>(registry, "Base").Field("id", &Base::id);
    const FieldOptions described{.description = "shown as text",
                                 .describedAs = TypeIdentifier{TypeKind::String, TypeKind::None, nullptr}};
    StructDeclaration<Item>(registry, "Item")
        .Description("An item.")
        .NameSpace("Test")
        .Tags({"a", "", "b"})
        .Field("id", &Item::id)
        .Field("weight", &Item::weight, described)
        .Field("level", &Item::level)
        .Field("note", &Item::note)
        .Field("levels", &Item::levels)
        .Field("blobs", &Item::blobs)
        .Field("base", &Item::base);

    const TypeRecord* item = registry.FindType(StaticTypeOf<Item>());
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->size, sizeof(Item));
    EXPECT_FALSE(item->isEnum);
    EXPECT_EQ(item->tags, (std::vector<std::string>{"a", "b"}));
    const TypeRecord* level = registry.FindType("Level");
    const TypeRecord* base = registry.FindType("Base");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->size, 1u);
    EXPECT_TRUE(level->isEnum);

    struct Expected {
        TypeKind kind;
        TypeKind elementKind;
        const TypeRecord* record;
        std::size_t offset;
        bool optional;
    };
    // Item is not standard-layout, so the offsets are measured on an object.
    const Item sample;
    auto offset = [&](const void* member) {
        return static_cast<std::size_t>(static_cast<const char*>(member) - reinterpret_cast<const char*>(&sample));
    };
    const Expected expected[] = {
        {TypeKind::Int32, TypeKind::None, nullptr, offset(&sample.id), false},
        {TypeKind::Double, TypeKind::None, nullptr, offset(&sample.weight), false},
        {TypeKind::Enum, TypeKind::None, level, offset(&sample.level), false},
        {TypeKind::String, TypeKind::None, nullptr, offset(&sample.note), true},
        {TypeKind::Vector, TypeKind::Enum, level, offset(&sample.levels), false},
        {TypeKind::Map, TypeKind::Blob, nullptr, offset(&sample.blobs), false},
        {TypeKind::Struct, TypeKind::None, base, offset(&sample.base), false},
    };
    ASSERT_EQ(item->fields.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const FieldRecord& field = item->fields[i];
        EXPECT_EQ(field.type.kind, expected[i].kind) << field.name;
        EXPECT_EQ(field.type.elementKind, expected[i].elementKind) << field.name;
        EXPECT_EQ(field.type.record, expected[i].record) << field.name;
        EXPECT_EQ(field.offset, expected[i].offset) << field.name;
        EXPECT_EQ(field.optional, expected[i].optional) << field.name;
        EXPECT_NE(field.descriptor, nullptr) << field.name;
        EXPECT_EQ(field.registry, &registry);
    }
    EXPECT_EQ(item->fields[1].description, "shown as text");
    EXPECT_EQ(item->fields[1].HostType().kind, TypeKind::String);
    EXPECT_EQ(item->fields[0].HostType().kind, TypeKind::Int32);
    EXPECT_EQ(item->fields[0].staticType, &StaticTypeOf<std::int32_t>());

    // The declared fields convert both ways, the optional and enum vector included.
    BindingProperty input;
    input["id"] = 4;
    input["level"] = "High";
    input["note"] = "n";
    input["levels"][0] = 1;
    input["levels"][1] = "High";
    input["blobs"]["k"] = "AAE=";
    input["base"]["id"] = 6;
    Item native;
    ConversionResult result;
    ASSERT_TRUE(AssignNative(result, native, input, "item", &registry)) << result.ErrorMessage();
    EXPECT_EQ(native.id, 4);
    EXPECT_EQ(native.level, Level::High);
    EXPECT_EQ(native.note, "n");
    EXPECT_EQ(native.levels, (std::vector<Level>{Level::Low, Level::High}));
    EXPECT_EQ(native.blobs.at("k"), (Blob{0, 1}));
    EXPECT_EQ(native.base.id, 6);
    const ConversionResult back = ToValue(native, &registry);
    ASSERT_TRUE(back.Ok()) << back.ErrorMessage();
    EXPECT_EQ(Shape(back.Value()), "{base:{id:6},blobs:{k:<0001>},id:4,level:#2,levels:[#1,#2],note:'n',weight:0.0}");
}

enum class Byte : std::uint8_t { Low = 1, High = 200 };
enum class Short : std::uint16_t { Top = 65000 };
enum class SignedByte : std::int8_t { Minus = -56 };
enum class SignedShort : std::int16_t { Minus = -536 };

struct Narrow {
    Byte byte = Byte::Low;
    Short shortValue = Short::Top;
    SignedByte signedByte = SignedByte::Minus;
    SignedShort signedShort = SignedShort::Minus;
};

// One- and two-byte enums keep the numbers of their own signedness, alone and as struct
// fields: to a value, to the host (by name) and back.
TEST(DeclarationTest, NarrowEnumsRoundTripWithTheirSignedness) {
    TypeRegistry registry;
    EnumDeclaration<Byte>(registry, "Byte").Value("Low", Byte::Low).Value("High", Byte::High);
    EnumDeclaration<Short>(registry, "Short").Value("Top", Short::Top);
    EnumDeclaration<SignedByte>(registry, "SignedByte").Value("Minus", SignedByte::Minus);
    EnumDeclaration<SignedShort>(registry, "SignedShort").Value("Minus", SignedShort::Minus);
    StructDeclaration<Narrow>(registry, "Narrow")
        .Field("byte", &Narrow::byte)
        .Field("shortValue", &Narrow::shortValue)
        .Field("signedByte", &Narrow::signedByte)
        .Field("signedShort", &Narrow::signedShort);

    // Alone: to a value, to the host by name, and back.
    const ConversionResult alone = ToValue(Byte::High, &registry);
    EXPECT_EQ(alone.Value().GetEnumNumber(), 200);
    HostValue record{};
    ToHostValue(alone.Value(), record, &registry);
    EXPECT_STREQ(record.payload.string.text, "High");
    record.Release();
    Byte byte = Byte::Low;
    ConversionResult result;
    EXPECT_TRUE(AssignNative(result, byte, alone.Value(), "byte", &registry)) << result.ErrorMessage();
    EXPECT_EQ(byte, Byte::High);

    // As fields: the numbers, the host's names, and back into a struct.
    const ConversionResult value = ToValue(Narrow{Byte::High, Short::Top, SignedByte::Minus, SignedShort::Minus}, &registry);
    ASSERT_TRUE(value.Ok()) << value.ErrorMessage();
    EXPECT_EQ(Shape(value.Value()), "{byte:#200,shortValue:#65000,signedByte:#-56,signedShort:#-536}");
    ToHostValue(value.Value(), record, &registry);
    BindingProperty back;
    HostResultHead head{};
    ASSERT_TRUE(FromHostValue(record, back, "narrow", head));
    record.Release();
    EXPECT_EQ(Shape(back), "{byte:'High',shortValue:'Top',signedByte:'Minus',signedShort:'Minus'}");
    Narrow copy{Byte::Low, Short::Top, SignedByte::Minus, SignedShort::Minus};
    ASSERT_TRUE(AssignNative(result, copy, back, "narrow", &registry)) << result.ErrorMessage();
    EXPECT_EQ(copy.byte, Byte::High);
    EXPECT_EQ(copy.signedShort, SignedShort::Minus);
}

}  // namespace
}  // namespace Kesh
