#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "binding/AsyncTypes.h"
#include "binding/HelpTypes.h"
#include "binding/TypeRegistry.h"
#include "platform/Allocator.h"

namespace Kesh {
namespace {

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

template <typename Record>
std::vector<std::string> Names(const std::vector<const Record*>& records) {
    std::vector<std::string> names;
    for (const Record* record : records) names.push_back(record->name);
    return names;
}

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
