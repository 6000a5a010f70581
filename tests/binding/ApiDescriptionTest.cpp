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

TEST(ApiDescription, DescribesTypesFieldsAndEnumerators) {
    TypeRegistry registry;
    Declare(registry);
    ApiDescription description;
    description.Build(registry.TypeSnapshot(), registry.EventSnapshot());

    ASSERT_EQ(description.TypeCount(), 4u);
    EXPECT_EQ(ChainLength(description.Types()), 4u);
    const TypeDescriptionRecord* item = nullptr;
    const TypeDescriptionRecord* mode = nullptr;
    const TypeDescriptionRecord* nothing = nullptr;
    const TypeDescriptionRecord* holder = nullptr;
    for (const TypeDescriptionRecord* type = description.Types(); type != nullptr; type = type->next) {
        const std::string name = type->name;
        (name == "Item" ? item : name == "Mode" ? mode : name == "Nothing" ? nothing : holder) = type;
    }
    ASSERT_TRUE(item && mode && nothing && holder);
    // Texts are the registry's own, not copies.
    EXPECT_EQ(Unpacked(holder->name), registry.FindType("Holder")->name.c_str());

    // A struct without fields reads like an enum without enumerators.
    EXPECT_EQ(Unpacked(nothing->fields), nullptr);
    EXPECT_NE(Unpacked(nothing->enumerators), nullptr);
    EXPECT_EQ(Unpacked(nothing->memberCount), 0u);
    EXPECT_STREQ(nothing->nameSpace, "Empty.Space");
    EXPECT_EQ(Unpacked(nothing->tagCount), 0u);

    // Enumerators in byte order of their names, chained, with the last one ending it.
    EXPECT_EQ(Unpacked(mode->fields), nullptr);
    ASSERT_EQ(Unpacked(mode->memberCount), 3u);
    const EnumeratorDescriptionRecord* enumerators = mode->enumerators;
    EXPECT_STREQ(enumerators[0].name, "Idle");
    EXPECT_EQ(Unpacked(enumerators[0].number), -2);
    EXPECT_STREQ(enumerators[1].name, "Off");
    EXPECT_STREQ(enumerators[2].name, "On");
    EXPECT_STREQ(enumerators[2].description, "switched on");
    EXPECT_EQ(Unpacked(enumerators[0].next), &enumerators[1]);
    EXPECT_EQ(Unpacked(enumerators[2].next), nullptr);
    ASSERT_EQ(Unpacked(mode->tagCount), 1u);
    EXPECT_STREQ(mode->tags[0], "modes");
    EXPECT_EQ(Unpacked(mode->size), sizeof(Mode));

    // Fields in declaration order.
    EXPECT_EQ(Unpacked(holder->enumerators), nullptr);
    ASSERT_EQ(Unpacked(holder->memberCount), 4u);
    EXPECT_EQ(ChainLength(holder->fields), 4u);
    EXPECT_STREQ(holder->description, "holds items");
    ASSERT_EQ(Unpacked(holder->tagCount), 2u);
    EXPECT_STREQ(holder->tags[1], "second");
    const FieldDescriptionRecord* fields = holder->fields;
    EXPECT_STREQ(fields[0].name, "count");
    EXPECT_EQ(Unpacked(fields[0].kind), 6u);
    EXPECT_EQ(Unpacked(fields[0].elementKind), 0u);
    EXPECT_STREQ(fields[0].typeName, "");
    // A vector of a registered struct names the struct.
    EXPECT_STREQ(fields[1].name, "items");
    EXPECT_STREQ(fields[1].description, "the items");
    EXPECT_EQ(Unpacked(fields[1].offset), offsetof(Holder, items));
    EXPECT_EQ(Unpacked(fields[1].kind), 15u);
    EXPECT_EQ(Unpacked(fields[1].elementKind), 17u);
    EXPECT_STREQ(fields[1].typeName, "Item");
    // The second identifier wins for the description.
    EXPECT_EQ(Unpacked(fields[2].kind), 16u);
    EXPECT_STREQ(fields[2].typeName, "Mode");
    EXPECT_EQ(Unpacked(fields[2].optional), 1);
    EXPECT_EQ(Unpacked(fields[3].kind), 1u);
    EXPECT_STREQ(fields[3].typeName, "");
    EXPECT_EQ(Unpacked(fields[3].next), nullptr);
}

TEST(ApiDescription, DescribesEventsAndRebuildsCleanly) {
    TypeRegistry registry;
    Declare(registry);
    ApiDescription description;
    description.Build(registry.TypeSnapshot(), registry.EventSnapshot());

    ASSERT_EQ(description.EventCount(), 2u);
    EXPECT_EQ(ChainLength(description.Events()), 2u);
    const EventDescriptionRecord* events = description.Events();
    const EventDescriptionRecord& holder = std::string(events[0].name) == "OnHolder" ? events[0] : events[1];
    const EventDescriptionRecord& item = &holder == &events[0] ? events[1] : events[0];
    EXPECT_STREQ(holder.payloadTypeName, "Holder");
    EXPECT_STREQ(holder.nameSpace, "Events");
    EXPECT_STREQ(holder.description, "fired");
    ASSERT_EQ(Unpacked(holder.tagCount), 1u);
    EXPECT_STREQ(holder.tags[0], "t");
    EXPECT_STREQ(item.payloadTypeName, "Item");
    EXPECT_EQ(Unpacked(item.tagCount), 0u);

    // Rebuilding from an empty snapshot leaves nothing to point at.
    description.Build({}, {});
    EXPECT_EQ(description.Types(), nullptr);
    EXPECT_EQ(description.TypeCount(), 0u);
    EXPECT_EQ(description.Events(), nullptr);
    EXPECT_EQ(description.EventCount(), 0u);
}

}  // namespace
}  // namespace Kesh
