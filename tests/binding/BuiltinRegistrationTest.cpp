#include <gtest/gtest.h>

#include <cstddef>
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

std::vector<std::string> TypeNames(const TypeRegistry& registry) {
    std::vector<std::string> names;
    for (const TypeRecord* record : registry.TypeSnapshot()) {
        names.push_back(record->name);
    }
    return names;
}

std::vector<std::string> EventNames(const TypeRegistry& registry) {
    std::vector<std::string> names;
    for (const EventRecord* record : registry.EventSnapshot()) {
        names.push_back(record->name);
    }
    return names;
}

struct FieldShape {
    std::string name;
    TypeKind kind;
    TypeKind elementKind;
    const char* recordName;  // null when the field refers to no record
    std::size_t offset;
};

void ExpectFields(const TypeRecord* record, const std::vector<FieldShape>& shapes) {
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(record->fields.size(), shapes.size()) << record->name;
    for (std::size_t i = 0; i < shapes.size(); ++i) {
        const FieldRecord& field = record->fields[i];
        const FieldShape& shape = shapes[i];
        EXPECT_EQ(field.name, shape.name) << record->name;
        EXPECT_EQ(field.type.kind, shape.kind) << record->name << "." << field.name;
        EXPECT_EQ(field.type.elementKind, shape.elementKind) << record->name << "." << field.name;
        if (shape.recordName == nullptr) {
            EXPECT_EQ(field.type.record, nullptr) << record->name << "." << field.name;
        } else {
            ASSERT_NE(field.type.record, nullptr) << record->name << "." << field.name;
            EXPECT_EQ(field.type.record->name, shape.recordName);
        }
        EXPECT_EQ(field.offset, shape.offset) << record->name << "." << field.name;
        EXPECT_EQ(field.flags, 0u);
        EXPECT_FALSE(field.optional);
        EXPECT_FALSE(field.describedType.IsSet());
    }
}

TEST(BuiltinRegistrationTest, RegistersTheBuiltinTypesAndEvent) {
    TypeRegistry registry;
    EXPECT_FALSE(registry.IsInitialized());
    registry.RegisterBuiltins();
    EXPECT_TRUE(registry.IsInitialized());

    // Help types first, then the asynchronous ones, in declaration order.
    EXPECT_EQ(TypeNames(registry), kBuiltinTypes);
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
    }

    const TypeRecord* format = registry.FindType(StaticTypeOf<BindingHelpFormat>());
    ASSERT_NE(format, nullptr);
    EXPECT_TRUE(format->isEnum);
    EXPECT_EQ(format->size, 4u);
    EXPECT_EQ(format->description, "Help format for binding functions and types.");
    ASSERT_EQ(format->enumerators.size(), 2u);
    EXPECT_EQ(TypeRegistry::EnumeratorNumber(format, "Full"), 1);
    EXPECT_EQ(TypeRegistry::EnumeratorNumber(format, "Epytext"), 2);
    EXPECT_EQ(format->enumerators.at("Epytext").description, "Python epytext format");
    EXPECT_FALSE(TypeRegistry::HasEnumeratorNumber(format, 0));

    const TypeRecord* state = registry.FindType("BindingAsyncState");
    ASSERT_NE(state, nullptr);
    EXPECT_TRUE(state->isEnum);
    EXPECT_STREQ(TypeRegistry::EnumeratorName(state, 0), "None");
    EXPECT_STREQ(TypeRegistry::EnumeratorName(state, 2), "Cancelling");
    EXPECT_STREQ(TypeRegistry::EnumeratorName(state, 5), "Failed");
    EXPECT_EQ(state->enumerators.at("Cancelling").description, "A request to cancel the operation has been made");
    EXPECT_EQ(state->enumerators.size(), 6u);

    const TypeRecord* function = registry.FindType("BindingFullFunctionHelp");
    ASSERT_NE(function, nullptr);
    EXPECT_EQ(function->size, sizeof(BindingFullFunctionHelp));
    EXPECT_EQ(function->description, "Describes a function.");
    ExpectFields(function, {
        {"name", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullFunctionHelp, name)},
        {"nameSpace", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullFunctionHelp, nameSpace)},
        {"arguments", TypeKind::Vector, TypeKind::Struct, "BindingFullArgumentHelp",
         offsetof(BindingFullFunctionHelp, arguments)},
        {"returns", TypeKind::Struct, TypeKind::None, "BindingFullTypeIdentifier",
         offsetof(BindingFullFunctionHelp, returns)},
        {"description", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullFunctionHelp, description)},
        {"help", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullFunctionHelp, help)},
        {"threadSafe", TypeKind::Bool, TypeKind::None, nullptr, offsetof(BindingFullFunctionHelp, threadSafe)},
        {"async", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullFunctionHelp, async)},
        {"tags", TypeKind::Vector, TypeKind::String, nullptr, offsetof(BindingFullFunctionHelp, tags)},
    });
    ExpectFields(registry.FindType("BindingFullTypeHelp"), {
        {"name", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullTypeHelp, name)},
        {"nameSpace", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullTypeHelp, nameSpace)},
        {"size", TypeKind::UInt32, TypeKind::None, nullptr, offsetof(BindingFullTypeHelp, size)},
        {"description", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingFullTypeHelp, description)},
        {"tags", TypeKind::Vector, TypeKind::String, nullptr, offsetof(BindingFullTypeHelp, tags)},
        {"fields", TypeKind::Vector, TypeKind::Struct, "BindingFullFieldHelp", offsetof(BindingFullTypeHelp, fields)},
        {"values", TypeKind::Vector, TypeKind::Struct, "BindingFullEnumValueHelp",
         offsetof(BindingFullTypeHelp, values)},
    });
    ExpectFields(registry.FindType("BindingCallbackEvent"), {
        {"id", TypeKind::UInt32, TypeKind::None, nullptr, offsetof(BindingCallbackEvent, id)},
        {"parameters", TypeKind::Vector, TypeKind::Object, nullptr, offsetof(BindingCallbackEvent, parameters)},
    });
    const TypeRecord* failure = registry.FindType("BindingAsyncFailureEvent");
    ExpectFields(failure, {
        {"asyncToken", TypeKind::UInt32, TypeKind::None, nullptr, offsetof(BindingAsyncFailureEvent, asyncToken)},
        {"error", TypeKind::String, TypeKind::None, nullptr, offsetof(BindingAsyncFailureEvent, error)},
    });
    EXPECT_EQ(failure->fields[1].description, "Error message");
    EXPECT_EQ(failure->size, sizeof(BindingAsyncFailureEvent));
    const TypeRecord* generic = registry.FindType("BindingGenericEvent");
    ExpectFields(generic, {{"data", TypeKind::Object, TypeKind::None, nullptr, offsetof(BindingGenericEvent, data)}});
    EXPECT_EQ(generic->fields[0].staticType, &StaticTypeOf<BindingProperty>());
    EXPECT_NE(generic->fields[0].descriptor, nullptr);

    EXPECT_EQ(EventNames(registry), std::vector<std::string>{"OnCallback"});
    const EventRecord* onCallback = registry.FindEvent("OnCallback");
    ASSERT_NE(onCallback, nullptr);
    EXPECT_EQ(onCallback->payload, registry.FindType("BindingCallbackEvent"));
    EXPECT_EQ(onCallback->description, "Fired when a callback is invoked.");
    EXPECT_EQ(onCallback->tags, std::vector<std::string>{"$builtin"});
}

TEST(BuiltinRegistrationTest, SecondRunStartsFromAnEmptyRegistry) {
    const Memory::AllocationCounters before = Memory::ReadCounters();
    {
        TypeRegistry registry;
        registry.RegisterBuiltins();

        const TypeRecord* custom = registry.DeclareType("Custom", sizeof(Custom), StaticTypeOf<Custom>(), false).Record();
        registry.DeclareEvent("OnCustom", custom).SetDescription("custom");
        auto function = std::make_unique<FunctionRecord>();
        function->name = "DoCustom";
        registry.AddFunction(std::move(function));

        registry.RegisterBuiltins();
        EXPECT_TRUE(registry.IsInitialized());
        EXPECT_EQ(TypeNames(registry), kBuiltinTypes);
        EXPECT_EQ(EventNames(registry), std::vector<std::string>{"OnCallback"});
        EXPECT_TRUE(registry.FunctionSnapshot().empty());
        EXPECT_EQ(registry.FindType(StaticTypeOf<Custom>()), nullptr);
        EXPECT_EQ(registry.FindFunction("DoCustom"), nullptr);
        // The event refers to the payload record of this run, not a freed one.
        const TypeRecord* callbackType = registry.FindType("BindingCallbackEvent");
        EXPECT_EQ(registry.FindEvent("OnCallback")->payload, callbackType);
        EXPECT_EQ(registry.FindType(StaticTypeOf<BindingCallbackEvent>()), callbackType);
        EXPECT_EQ(callbackType->fields.size(), 2u);
    }
    // Every record of both runs went back to the heap.
    const Memory::AllocationCounters after = Memory::ReadCounters();
    EXPECT_EQ(after.allocationCount - before.allocationCount, after.freeCount - before.freeCount);
    EXPECT_EQ(after.bytesAllocated - before.bytesAllocated, after.bytesFreed - before.bytesFreed);
}

TEST(BuiltinRegistrationTest, PredeclaredOnCallbackIsKept) {
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
    EXPECT_EQ(TypeNames(registry), expected);

    // A second run removes the plugin's declarations, so the built-in event returns.
    registry.RegisterBuiltins();
    onCallback = registry.FindEvent("OnCallback");
    ASSERT_NE(onCallback, nullptr);
    EXPECT_EQ(onCallback->payload, registry.FindType("BindingCallbackEvent"));
    EXPECT_EQ(onCallback->description, "Fired when a callback is invoked.");
    EXPECT_EQ(TypeNames(registry), kBuiltinTypes);
}

}  // namespace
}  // namespace Kesh
