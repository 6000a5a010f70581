#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "binding/ApiDescription.h"
#include "binding/TypeRegistry.h"
#include "tests/support/Unpacked.h"

namespace Kesh {
namespace {

using Testing::Unpacked;

struct Item {
    std::int32_t id;
};
struct Holder {
    std::int32_t count;
    std::vector<Item> items;
    std::int64_t stamp;
    bool flag;
};
struct Nothing {};
enum class Mode : std::int32_t { Off = 0, On = 1 };

constexpr TypeIdentifier kNone{};

template <typename Record>
std::size_t ChainLength(const Record* first) {
    std::size_t length = 0;
    for (; first != nullptr; first = first->next) ++length;
    return length;
}

// Declares: Item (one field), Mode (enum), Nothing (no fields), Holder (fields using
// the others), an event with Holder as payload.
void Declare(TypeRegistry& registry) {
    const TypeRecord* item = registry.DeclareType("Item", sizeof(Item), StaticTypeOf<Item>(), false)
                                 .AddField("id", "identity", offsetof(Item, id), StaticTypeOf<std::int32_t>(),
                                           {TypeKind::Int32, TypeKind::None, nullptr}, kNone, 0, nullptr, false)
                                 .Record();
    const TypeRecord* mode = registry.DeclareType("Mode", sizeof(Mode), StaticTypeOf<Mode>(), true)
                                 .AddEnumerator("On", 1, "switched on")
                                 .AddEnumerator("Off", 0, "")
                                 .AddEnumerator("Idle", -2, "")
                                 .AddTag("modes")
                                 .Record();
    registry.DeclareType("Nothing", sizeof(Nothing), StaticTypeOf<Nothing>(), false).SetNameSpace("Empty.Space");
    const TypeRecord* holder =
        registry.DeclareType("Holder", sizeof(Holder), StaticTypeOf<Holder>(), false)
            .SetDescription("holds items")
            .AddTags({"first", "second"})
            .AddField("count", "", offsetof(Holder, count), StaticTypeOf<std::int32_t>(),
                      {TypeKind::Int32, TypeKind::None, nullptr}, kNone, 0, nullptr, false)
            .AddField("items", "the items", offsetof(Holder, items), StaticTypeOf<std::vector<Item>>(),
                      {TypeKind::Vector, TypeKind::Struct, item}, kNone, 0, nullptr, false)
            // Converted as a number, described to the host as the Mode enum.
            .AddField("stamp", "", offsetof(Holder, stamp), StaticTypeOf<std::int64_t>(),
                      {TypeKind::Int64, TypeKind::None, nullptr}, {TypeKind::Enum, TypeKind::None, mode}, 0,
                      nullptr, true)
            // A record on a kind that names none is not reported.
            .AddField("flag", "", offsetof(Holder, flag), StaticTypeOf<bool>(),
                      {TypeKind::Bool, TypeKind::None, item}, kNone, 0, nullptr, false)
            .Record();
    registry.DeclareEvent("OnHolder", holder).SetNameSpace("Events").SetDescription("fired").AddTag("t");
    registry.DeclareEvent("OnItem", item);
}

// The chain's record of the given name, or null.
template <typename Record>
const Record* Named(const Record* first, const char* name) {
    for (; first != nullptr; first = first->next) {
        if (std::string(first->name) == name) return first;
    }
    return nullptr;
}

TEST(ApiDescription, DescribesTypesEventsAndRebuildsCleanly) {
    TypeRegistry registry;
    Declare(registry);
    ApiDescription description;
    description.Build(registry.TypeSnapshot(), registry.EventSnapshot());
    ASSERT_EQ(description.TypeCount(), 4u);
    EXPECT_EQ(ChainLength(description.Types()), 4u);
    const TypeDescriptionRecord* mode = Named(description.Types(), "Mode");
    const TypeDescriptionRecord* nothing = Named(description.Types(), "Nothing");
    const TypeDescriptionRecord* holder = Named(description.Types(), "Holder");
    ASSERT_TRUE(mode && nothing && holder);
    // Texts are the registry's own, not copies.
    EXPECT_EQ(Unpacked(holder->name), registry.FindType("Holder")->name.c_str());

    // A struct without fields reads like an enum without enumerators.
    EXPECT_EQ(Unpacked(nothing->fields), nullptr);
    EXPECT_NE(Unpacked(nothing->enumerators), nullptr);
    EXPECT_EQ(Unpacked(nothing->memberCount), 0u);
    EXPECT_STREQ(nothing->nameSpace, "Empty.Space");

    // Enumerators in byte order of their names, chained, with the last one ending it.
    EXPECT_EQ(Unpacked(mode->fields), nullptr);
    ASSERT_EQ(Unpacked(mode->memberCount), 3u);
    const EnumeratorDescriptionRecord* enumerators = mode->enumerators;
    EXPECT_STREQ(enumerators[0].name, "Idle");
    EXPECT_EQ(Unpacked(enumerators[0].number), -2);
    EXPECT_STREQ(enumerators[2].description, "switched on");
    EXPECT_EQ(Unpacked(enumerators[0].next), &enumerators[1]);
    EXPECT_EQ(Unpacked(enumerators[2].next), nullptr);
    ASSERT_EQ(Unpacked(mode->tagCount), 1u);
    EXPECT_STREQ(mode->tags[0], "modes");
    EXPECT_EQ(Unpacked(mode->size), sizeof(Mode));

    // Fields in declaration order: kind, element kind and the type named.
    EXPECT_EQ(Unpacked(holder->enumerators), nullptr);
    ASSERT_EQ(Unpacked(holder->memberCount), 4u);
    EXPECT_EQ(ChainLength(holder->fields), 4u);
    EXPECT_STREQ(holder->description, "holds items");
    ASSERT_EQ(Unpacked(holder->tagCount), 2u);
    EXPECT_STREQ(holder->tags[1], "second");
    const struct {
        const char* name;
        std::uint32_t kind;
        std::uint32_t elementKind;
        const char* typeName;
        std::uint8_t optional;
    } fields[] = {
        {"count", 6, 0, "", 0},
        {"items", 15, 17, "Item", 0},  // a vector of a registered struct names the struct
        {"stamp", 16, 0, "Mode", 1},   // the second identifier wins for the description
        {"flag", 1, 0, "", 0},         // a record on a kind that names none is not reported
    };
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        const FieldDescriptionRecord& field = holder->fields[i];
        SCOPED_TRACE(fields[i].name);
        EXPECT_STREQ(field.name, fields[i].name);
        EXPECT_EQ(Unpacked(field.kind), fields[i].kind);
        EXPECT_EQ(Unpacked(field.elementKind), fields[i].elementKind);
        EXPECT_STREQ(field.typeName, fields[i].typeName);
        EXPECT_EQ(Unpacked(field.optional), fields[i].optional);
    }
    EXPECT_STREQ(holder->fields[1].description, "the items");
    EXPECT_EQ(Unpacked(holder->fields[1].offset), offsetof(Holder, items));

    ASSERT_EQ(description.EventCount(), 2u);
    EXPECT_EQ(ChainLength(description.Events()), 2u);
    const EventDescriptionRecord* onHolder = Named(description.Events(), "OnHolder");
    const EventDescriptionRecord* onItem = Named(description.Events(), "OnItem");
    ASSERT_TRUE(onHolder && onItem);
    EXPECT_STREQ(onHolder->payloadTypeName, "Holder");
    EXPECT_STREQ(onHolder->nameSpace, "Events");
    EXPECT_STREQ(onHolder->description, "fired");
    ASSERT_EQ(Unpacked(onHolder->tagCount), 1u);
    EXPECT_STREQ(onHolder->tags[0], "t");
    EXPECT_STREQ(onItem->payloadTypeName, "Item");
    EXPECT_EQ(Unpacked(onItem->tagCount), 0u);

    // Rebuilding from an empty snapshot leaves nothing to point at.
    description.Build({}, {});
    EXPECT_EQ(description.Types(), nullptr);
    EXPECT_EQ(description.TypeCount(), 0u);
    EXPECT_EQ(description.Events(), nullptr);
    EXPECT_EQ(description.EventCount(), 0u);
}

}  // namespace
}  // namespace Kesh
