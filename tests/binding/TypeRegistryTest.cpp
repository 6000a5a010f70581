#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <set>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "binding/AsyncTypes.h"
#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "binding/HelpTypes.h"
#include "binding/StaticType.h"
#include "binding/TypeKind.h"
#include "binding/TypeRegistry.h"
#include "platform/Allocator.h"

namespace {

struct Alpha {};
struct Beta {};
template <int N>
struct Numbered {};
enum class Phase : int { None = 0 };
struct Session {};

}  // namespace

PZL_STATIC_TYPE_ID(Phase, 0x309C3526u);
PZL_STATIC_TYPE(Session, 0x5B8210B7u,
                "const char *__cdecl StaticType::Name<struct Kesh::Client::UserExperience::Api::GameflowSession>(void)");

namespace Kesh {
namespace {

struct Point {
    std::int32_t x;
    std::int32_t y;
};
enum class Color : std::int32_t { Red = 1 };
struct Other {};

// Counts its own destruction, to show that field records own their descriptors.
class CountingDescriptor final : public TypeDescriptor {
public:
    explicit CountingDescriptor(int& destroyed) : destroyed_(destroyed) {}
    ~CountingDescriptor() override { ++destroyed_; }
    void Assign(ConversionResult&, void*, const BindingProperty&, const char*, const TypeRegistry*) const override {}
    void ToValue(ConversionResult&, const void*, const TypeRegistry*) const override {}

private:
    int& destroyed_;
};

constexpr TypeIdentifier kInt32{TypeKind::Int32, TypeKind::None, nullptr};

template <typename Record>
std::vector<std::string> Names(const std::vector<const Record*>& records) {
    std::vector<std::string> names;
    for (const Record* record : records) names.push_back(record->name);
    return names;
}

TEST(TypeRegistryTest, SecondDeclarationOfANameAddsNothing) {
    int destroyed = 0;
    {
        TypeRegistry registry;
        TypeBuilder first = registry.DeclareType("Point", sizeof(Point), StaticTypeOf<Point>(), false);
        ASSERT_FALSE(first.AlreadyDeclared());
        first.SetDescription("A point.")
            .AddTag("geometry")
            .AddTag("")
            .AddField("x", "across", offsetof(Point, x), StaticTypeOf<std::int32_t>(), kInt32,
                      TypeIdentifier{}, 0, std::make_unique<CountingDescriptor>(destroyed), false);

        // Same name, different size, identity and kind: the first declaration stands.
        TypeBuilder second = registry.DeclareType("Point", 99, StaticTypeOf<Other>(), true);
        EXPECT_TRUE(second.AlreadyDeclared());
        EXPECT_EQ(second.Record(), first.Record());
        second.SetDescription("changed")
            .SetNameSpace("changed")
            .AddTag("more")
            .AddEnumerator("Zero", 0, "")
            .AddField("y", "", offsetof(Point, y), StaticTypeOf<std::int32_t>(), kInt32, TypeIdentifier{}, 0,
                      std::make_unique<CountingDescriptor>(destroyed), false);
        // The refused descriptor is freed at once, not leaked.
        EXPECT_EQ(destroyed, 1);

        const TypeRecord* point = registry.FindType("Point");
        ASSERT_NE(point, nullptr);
        EXPECT_EQ(point->size, sizeof(Point));
        EXPECT_FALSE(point->isEnum);
        EXPECT_EQ(point->description, "A point.");
        EXPECT_EQ(point->nameSpace, "");
        EXPECT_EQ(point->tags, std::vector<std::string>{"geometry"});
        ASSERT_EQ(point->fields.size(), 1u);
        EXPECT_TRUE(point->enumerators.empty());
        EXPECT_EQ(registry.FindType(StaticTypeOf<Point>()), point);
        EXPECT_EQ(registry.FindType(StaticTypeOf<Other>()), nullptr);
        EXPECT_EQ(registry.TypeSnapshot().size(), 1u);
        EXPECT_EQ(point->fields[0].registry, &registry);
    }
    EXPECT_EQ(destroyed, 2);
}

TEST(TypeRegistryTest, FindsTypesByIdentityAndName) {
    TypeRegistry registry;
    const TypeRecord* color = registry.DeclareType("Color", 4, StaticTypeOf<Color>(), true).Record();
    // A type without a native identity is reachable by name only.
    const TypeRecord* loose = registry.DeclareType("Loose", 0, NoStaticType(), false).Record();
    // A second name for the same native type does not take the identity over.
    const TypeRecord* alias = registry.DeclareType("ColorAlias", 4, StaticTypeOf<Color>(), true).Record();

    EXPECT_EQ(registry.FindType(StaticTypeOf<Color>()), color);
    EXPECT_EQ(registry.FindTypeById(StaticTypeOf<Color>().id), color);
    EXPECT_EQ(registry.FindType("ColorAlias"), alias);
    EXPECT_EQ(registry.FindType("Loose"), loose);
    EXPECT_EQ(registry.FindType(NoStaticType()), nullptr);
    EXPECT_EQ(registry.FindType("color"), nullptr);
    EXPECT_EQ(registry.FindType(""), nullptr);
    EXPECT_EQ(Names(registry.TypeSnapshot()), (std::vector<std::string>{"Color", "Loose", "ColorAlias"}));
}

TEST(TypeRegistryTest, EnumeratorLookups) {
    TypeRegistry registry;
    TypeBuilder builder = registry.DeclareType("Color", 4, StaticTypeOf<Color>(), true);
    builder.AddEnumerator("red", 1, "first")
        .AddEnumerator("Red", 1, "upper")
        .AddEnumerator("green", 2, "")
        .AddEnumerator("blue", 7, "old")
        .AddEnumerator("blue", 3, "new")
        .AddEnumerator("Minus", -5, "");
    const TypeRecord* color = builder.Record();

    // A repeated name replaces number and description; it is still one enumerator.
    ASSERT_EQ(color->enumerators.size(), 5u);
    EXPECT_EQ(color->enumerators.at("blue").number, 3);
    EXPECT_EQ(color->enumerators.at("blue").description, "new");
    EXPECT_EQ(color->enumerators.at("blue").owner, color);

    // Two names for one number: the first in byte order wins, and upper case sorts first.
    EXPECT_STREQ(TypeRegistry::EnumeratorName(color, 1), "Red");
    EXPECT_STREQ(TypeRegistry::EnumeratorName(color, -5), "Minus");
    EXPECT_EQ(TypeRegistry::EnumeratorName(color, 0), nullptr);
    for (const std::int32_t number : {1, 2, 3, -5}) EXPECT_TRUE(TypeRegistry::HasEnumeratorNumber(color, number)) << number;
    for (const std::int32_t number : {0, 4, 7}) EXPECT_FALSE(TypeRegistry::HasEnumeratorNumber(color, number)) << number;

    // Lookup by name is exact and case-sensitive.
    const struct {
        const char* name;
        std::optional<std::int32_t> number;
    } names[] = {{"green", 2}, {"Green", std::nullopt}, {"gree", std::nullopt}, {"red", 1}, {"Red", 1}};
    for (const auto& n : names) EXPECT_EQ(TypeRegistry::EnumeratorNumber(color, n.name), n.number) << n.name;

    // No record: nothing is found, nothing crashes.
    EXPECT_EQ(TypeRegistry::EnumeratorName(nullptr, 1), nullptr);
    EXPECT_FALSE(TypeRegistry::HasEnumeratorNumber(nullptr, 1));
    EXPECT_EQ(TypeRegistry::EnumeratorNumber(nullptr, "red"), std::nullopt);
}

TEST(TypeRegistryTest, EventsAndFunctions) {
    TypeRegistry registry;
    const TypeRecord* payload = registry.DeclareType("Point", sizeof(Point), StaticTypeOf<Point>(), false).Record();

    EventBuilder moved = registry.DeclareEvent("OnMoved", payload);
    ASSERT_FALSE(moved.AlreadyDeclared());
    moved.SetDescription("Fired when moved.").SetNameSpace("Geo").AddTag("geo").AddTag("");

    EventBuilder again = registry.DeclareEvent("OnMoved", nullptr);
    EXPECT_TRUE(again.AlreadyDeclared());
    again.SetDescription("changed").AddTag("more");

    // An event whose payload type is unknown is refused.
    EventBuilder orphan = registry.DeclareEvent("OnOrphan", nullptr);
    EXPECT_EQ(orphan.Record(), nullptr);
    orphan.SetDescription("ignored");
    EXPECT_EQ(registry.FindEvent("OnOrphan"), nullptr);

    const EventRecord* event = registry.FindEvent("OnMoved");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(event->payload, payload);
    EXPECT_EQ(event->description, "Fired when moved.");
    EXPECT_EQ(event->nameSpace, "Geo");
    EXPECT_EQ(event->tags, std::vector<std::string>{"geo"});
    EXPECT_EQ(registry.EventSnapshot(), std::vector<const EventRecord*>{event});

    auto first = std::make_unique<FunctionRecord>();
    first->name = "Move";
    first->arguments.push_back(FunctionArgument{"to", "", false, TypeIdentifier{TypeKind::Struct, TypeKind::None, payload}});
    const FunctionRecord* firstStored = registry.AddFunction(std::move(first));
    auto second = std::make_unique<FunctionRecord>();
    second->name = "Move";
    const FunctionRecord* secondStored = registry.AddFunction(std::move(second));
    EXPECT_EQ(registry.AddFunction(std::make_unique<FunctionRecord>()), nullptr);
    EXPECT_EQ(registry.AddFunction(nullptr), nullptr);

    // Both stay listed; the later one is the one reached by name.
    EXPECT_EQ(registry.FindFunction("Move"), secondStored);
    EXPECT_EQ(registry.FunctionSnapshot(), (std::vector<const FunctionRecord*>{firstStored, secondStored}));
    EXPECT_EQ(firstStored->registry, &registry);
    EXPECT_EQ(registry.FindFunction("move"), nullptr);
}

TEST(TypeRegistryTest, ConcurrentDeclarationsOfOneNameMakeOneRecord) {
    TypeRegistry registry;
    constexpr int kThreads = 4;
    constexpr int kNames = 200;
    std::atomic<int> fresh{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kNames; ++i) {
                TypeBuilder builder = registry.DeclareType("T" + std::to_string(i), 4, NoStaticType(), false);
                if (!builder.AlreadyDeclared()) {
                    fresh.fetch_add(1);
                    builder.AddTag("mine");
                }
                EXPECT_EQ(registry.FindType("T" + std::to_string(i)), builder.Record());
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(fresh.load(), kNames);
    EXPECT_EQ(registry.TypeSnapshot().size(), static_cast<std::size_t>(kNames));
}

std::string Unnamed(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof(text), "#%08X", static_cast<unsigned>(id));
    return text;
}

TEST(StaticTypeTest, FixedIdentitiesKeepTheirIdsAndNames) {
    // Fixed ids must hold at compile time, since other records are keyed by them.
    static_assert(StaticTypeIdOf<BindingProperty>() == 0xAF98C378u);
    static_assert(StaticTypeIdOf<double>() == 0xBDCD4E3Bu);
    static_assert(StaticTypeIdOf<const double&>() == 0xBDCD4E3Bu);
    EXPECT_STREQ(StaticTypeOf<BindingProperty>().name,
                 "const char *__cdecl StaticType::Name<class Kesh::BindingProperty>(void)");
    EXPECT_STREQ(StaticTypeOf<double>().name, "const char *__cdecl StaticType::Name<double>(void)");
    EXPECT_EQ(&StaticTypeOf<const double>(), &StaticTypeOf<double>());

    // A fixed id without a display name shows as its hexadecimal form, upper case.
    EXPECT_EQ(StaticTypeOf<Phase>().id, 0x309C3526u);
    EXPECT_STREQ(StaticTypeOf<Phase>().name, "#309C3526");
    EXPECT_EQ(StaticTypeOf<Session>().id, 0x5B8210B7u);
    EXPECT_STREQ(StaticTypeOf<Session>().name,
                 "const char *__cdecl StaticType::Name<struct Kesh::Client::UserExperience::Api::GameflowSession>(void)");

    // The reserved identity means "no native type".
    EXPECT_TRUE(NoStaticType().IsNone());
    EXPECT_EQ(NoStaticType().id, StaticType::kNoTypeId);
    EXPECT_EQ(&StaticTypeOf<void>(), &NoStaticType());
    EXPECT_STREQ(NoStaticType().name, "#00000000");
}

TEST(StaticTypeTest, DerivedIdentitiesAreDistinctStableAndShownInHex) {
    // Distinct from each other and from the reserved "no native type".
    const std::set<std::uint32_t> ids = {
        StaticTypeOf<Alpha>().id,       StaticTypeOf<Beta>().id,          StaticTypeOf<Numbered<1>>().id,
        StaticTypeOf<Numbered<2>>().id, StaticTypeOf<int>().id,           StaticTypeOf<unsigned>().id,
        StaticTypeOf<std::string>().id, StaticTypeOf<std::vector<int>>().id, StaticTypeOf<std::vector<std::string>>().id,
        StaticTypeOf<double>().id,      StaticTypeOf<BindingProperty>().id, StaticTypeOf<Phase>().id,
        StaticTypeOf<Session>().id,     StaticType::kNoTypeId,
    };
    EXPECT_EQ(ids.size(), 14u);

    // The id is the one computed at build time, so it is the same on every run.
    constexpr std::uint32_t kAlphaId = StaticTypeIdOf<Alpha>();
    EXPECT_EQ(StaticTypeOf<Alpha>().id, kAlphaId);
    EXPECT_EQ(&StaticTypeOf<Alpha>(), &StaticTypeOf<const Alpha&>());
    EXPECT_EQ(StaticTypeOf<Alpha>().name, Unnamed(kAlphaId));
}

TEST(StaticTypeTest, TypeKindNamesAtTheEndsOfTheTable) {
    EXPECT_STREQ(TypeKindName(TypeKind::Bool), "bool");
    EXPECT_STREQ(TypeKindName(19u), "map");
    for (std::uint32_t outside : {0u, 20u, 0xFFFFFFFFu}) EXPECT_STREQ(TypeKindName(outside), "") << outside;
}

// Built-in registration: the help and asynchronous types and the OnCallback event.
struct Custom {
    std::int32_t value;
};

const std::vector<std::string> kBuiltinTypes = {
    "BindingHelpFormat",         "BindingFullTypeIdentifier", "BindingFullArgumentHelp",
    "BindingFullFunctionHelp",   "BindingFullEnumValueHelp",  "BindingFullFieldHelp",
    "BindingFullTypeHelp",       "BindingFullEventHelp",      "BindingFullApiHelp",
    "BindingAsyncState",         "BindingGenericEvent",       "BindingCallbackEvent",
    "BindingGenericAsyncEvent",  "BindingAsyncFailureEvent",  "BindingAsyncCancelEvent",
};

std::vector<std::string> FieldNames(const TypeRecord* record) {
    std::vector<std::string> names;
    for (const FieldRecord& field : record->fields) names.push_back(field.name);
    return names;
}

TEST(BuiltinRegistrationTest, RegistersTheBuiltinTypesAndEvent) {
    TypeRegistry registry;
    EXPECT_FALSE(registry.IsInitialized());
    registry.RegisterBuiltins();
    EXPECT_TRUE(registry.IsInitialized());

    // Help types first, then the asynchronous ones, in declaration order.
    EXPECT_EQ(Names(registry.TypeSnapshot()), kBuiltinTypes);
    for (const TypeRecord* record : registry.TypeSnapshot()) {
        const bool help = record->name.starts_with("BindingFull") || record->name == "BindingHelpFormat";
        const bool async = record->name == "BindingAsyncState" || record->name == "BindingGenericAsyncEvent" ||
                           record->name == "BindingAsyncFailureEvent" || record->name == "BindingAsyncCancelEvent";
        const std::vector<std::string> tags = help    ? std::vector<std::string>{"$builtin", "help"}
                                              : async ? std::vector<std::string>{"$builtin", "async"}
                                                      : std::vector<std::string>{"$builtin"};
        EXPECT_EQ(record->tags, tags) << record->name;
        EXPECT_FALSE(record->description.empty()) << record->name;
        EXPECT_EQ(registry.FindType(*record->staticType), record) << record->name;
        for (const FieldRecord& field : record->fields) EXPECT_NE(field.descriptor, nullptr) << field.name;
    }

    // The host sees field names in this order; kinds and offsets come from the member
    // types (covered by the declaration tests).
    const struct {
        const char* type;
        std::vector<std::string> fields;
    } shapes[] = {
        {"BindingFullTypeIdentifier", {"type", "elementType"}},
        {"BindingFullArgumentHelp", {"name", "description", "type", "optional"}},
        {"BindingFullFunctionHelp",
         {"name", "nameSpace", "arguments", "returns", "description", "help", "threadSafe", "async", "tags"}},
        {"BindingFullEnumValueHelp", {"name", "description", "value"}},
        {"BindingFullFieldHelp", {"name", "description", "offset", "type", "optional"}},
        {"BindingFullTypeHelp", {"name", "nameSpace", "size", "description", "tags", "fields", "values"}},
        {"BindingFullEventHelp", {"name", "nameSpace", "type", "description", "tags"}},
        {"BindingFullApiHelp", {"functions", "types", "events"}},
        {"BindingGenericEvent", {"data"}},
        {"BindingCallbackEvent", {"id", "parameters"}},
        {"BindingGenericAsyncEvent", {"asyncToken", "data"}},
        {"BindingAsyncFailureEvent", {"asyncToken", "error"}},
        {"BindingAsyncCancelEvent", {"asyncToken"}},
    };
    for (const auto& shape : shapes) {
        const TypeRecord* record = registry.FindType(shape.type);
        ASSERT_NE(record, nullptr) << shape.type;
        EXPECT_EQ(FieldNames(record), shape.fields) << shape.type;
    }
    const TypeRecord* function = registry.FindType("BindingFullFunctionHelp");
    EXPECT_EQ(function->size, sizeof(BindingFullFunctionHelp));
    EXPECT_EQ(function->fields[2].type.record, registry.FindType("BindingFullArgumentHelp"));
    EXPECT_EQ(registry.FindType("BindingCallbackEvent")->fields[1].type.elementKind, TypeKind::Object);
    EXPECT_EQ(registry.FindType("BindingAsyncFailureEvent")->fields[1].description, "Error message");

    const TypeRecord* format = registry.FindType(StaticTypeOf<BindingHelpFormat>());
    ASSERT_NE(format, nullptr);
    EXPECT_TRUE(format->isEnum);
    EXPECT_EQ(format->size, 4u);
    EXPECT_EQ(TypeRegistry::EnumeratorNumber(format, "Epytext"), 2);
    EXPECT_STREQ(TypeRegistry::EnumeratorName(registry.FindType("BindingAsyncState"), 2), "Cancelling");

    EXPECT_EQ(Names(registry.EventSnapshot()), std::vector<std::string>{"OnCallback"});
    const EventRecord* onCallback = registry.FindEvent("OnCallback");
    ASSERT_NE(onCallback, nullptr);
    EXPECT_EQ(onCallback->payload, registry.FindType("BindingCallbackEvent"));
    EXPECT_EQ(onCallback->description, "Fired when a callback is invoked.");
    EXPECT_EQ(onCallback->tags, std::vector<std::string>{"$builtin"});
}

// A plugin's own OnCallback is kept; a second run removes every declaration of the
// plugin (so the built-in event returns) and frees the records of the first.
TEST(BuiltinRegistrationTest, APredeclaredOnCallbackIsKeptAndASecondRunStartsAfresh) {
    const Memory::AllocationCounters before = Memory::ReadCounters();
    {
        TypeRegistry registry;
        const TypeRecord* custom = registry.DeclareType("Custom", sizeof(Custom), StaticTypeOf<Custom>(), false).Record();
        registry.DeclareEvent("OnCallback", custom).SetDescription("Mine.").AddTag("plugin");
        registry.RegisterBuiltins();
        const EventRecord* onCallback = registry.FindEvent("OnCallback");
        ASSERT_NE(onCallback, nullptr);
        EXPECT_EQ(onCallback->payload, custom);
        EXPECT_EQ(onCallback->description, "Mine.");
        EXPECT_EQ(onCallback->tags, std::vector<std::string>{"plugin"});
        EXPECT_EQ(registry.EventSnapshot().size(), 1u);
        // The plugin's type stays and the built-ins follow it.
        std::vector<std::string> expected = {"Custom"};
        expected.insert(expected.end(), kBuiltinTypes.begin(), kBuiltinTypes.end());
        EXPECT_EQ(Names(registry.TypeSnapshot()), expected);

        auto function = std::make_unique<FunctionRecord>();
        function->name = "DoCustom";
        registry.AddFunction(std::move(function));
        registry.RegisterBuiltins();
        EXPECT_TRUE(registry.IsInitialized());
        EXPECT_EQ(Names(registry.TypeSnapshot()), kBuiltinTypes);
        EXPECT_EQ(Names(registry.EventSnapshot()), std::vector<std::string>{"OnCallback"});
        EXPECT_TRUE(registry.FunctionSnapshot().empty());
        EXPECT_EQ(registry.FindType(StaticTypeOf<Custom>()), nullptr);
        EXPECT_EQ(registry.FindFunction("DoCustom"), nullptr);
        // The event refers to the payload record of this run, not a freed one.
        const TypeRecord* callbackType = registry.FindType("BindingCallbackEvent");
        EXPECT_EQ(registry.FindEvent("OnCallback")->payload, callbackType);
        EXPECT_EQ(registry.FindEvent("OnCallback")->description, "Fired when a callback is invoked.");
        EXPECT_EQ(registry.FindType(StaticTypeOf<BindingCallbackEvent>()), callbackType);
    }
    const Memory::AllocationCounters after = Memory::ReadCounters();
    EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount);
    EXPECT_EQ(after.bytesAllocated - before.bytesAllocated, after.bytesFreed - before.bytesFreed);
}

}  // namespace
}  // namespace Kesh
