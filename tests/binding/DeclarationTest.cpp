#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "binding/EnumDeclaration.h"
#include "binding/HostValueConversion.h"
#include "binding/NativeAssign.h"
#include "binding/NativeToValue.h"
#include "binding/StructDeclaration.h"
#include "tests/support/Unpacked.h"
#include "tests/support/ValueShape.h"

namespace Kesh {
namespace {

using Testing::Shape;
using Testing::Unpacked;

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
