#include "binding/HelpTypes.h"

#include "binding/BuiltinFields.h"
#include "binding/TypeRegistry.h"

namespace Kesh {

namespace {

using Detail::Scalar;
using Detail::StructOf;
using Detail::VectorOf;

constexpr TypeIdentifier kString = Scalar(TypeKind::String);
constexpr TypeIdentifier kBool = Scalar(TypeKind::Bool);

template <typename T>
TypeBuilder DeclareHelpStruct(TypeRegistry& registry, const char* name, const char* description) {
    TypeBuilder builder = registry.DeclareType(name, sizeof(T), StaticTypeOf<T>(), false);
    builder.SetDescription(description).AddTags({"$builtin", "help"});
    return builder;
}

}  // namespace

void RegisterHelpTypes(TypeRegistry& registry) {
    TypeBuilder format = registry.DeclareType("BindingHelpFormat", sizeof(BindingHelpFormat),
                                              StaticTypeOf<BindingHelpFormat>(), true);
    format.SetDescription("Help format for binding functions and types.")
        .AddTags({"$builtin", "help"})
        .AddEnumerator("Full", static_cast<std::int32_t>(BindingHelpFormat::Full), "Native help format")
        .AddEnumerator("Epytext", static_cast<std::int32_t>(BindingHelpFormat::Epytext), "Python epytext format");

    TypeBuilder typeId = DeclareHelpStruct<BindingFullTypeIdentifier>(registry, "BindingFullTypeIdentifier",
                                                                      "Describes the type of a value.");
    PZL_BUILTIN_FIELD(typeId, BindingFullTypeIdentifier, type, "", kString);
    PZL_BUILTIN_FIELD(typeId, BindingFullTypeIdentifier, elementType, "", kString);
    const TypeIdentifier typeIdType = StructOf(typeId.Record());

    TypeBuilder argument = DeclareHelpStruct<BindingFullArgumentHelp>(registry, "BindingFullArgumentHelp",
                                                                      "Describes a function parameter.");
    PZL_BUILTIN_FIELD(argument, BindingFullArgumentHelp, name, "", kString);
    PZL_BUILTIN_FIELD(argument, BindingFullArgumentHelp, description, "", kString);
    PZL_BUILTIN_FIELD(argument, BindingFullArgumentHelp, type, "", typeIdType);
    PZL_BUILTIN_FIELD(argument, BindingFullArgumentHelp, optional, "", kBool);

    TypeBuilder function = DeclareHelpStruct<BindingFullFunctionHelp>(registry, "BindingFullFunctionHelp",
                                                                      "Describes a function.");
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, name, "", kString);
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, nameSpace, "", kString);
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, arguments, "",
                      VectorOf(TypeKind::Struct, argument.Record()));
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, returns, "", typeIdType);
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, description, "", kString);
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, help, "", kString);
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, threadSafe, "", kBool);
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, async, "", kString);
    PZL_BUILTIN_FIELD(function, BindingFullFunctionHelp, tags, "", VectorOf(TypeKind::String));

    TypeBuilder enumValue = DeclareHelpStruct<BindingFullEnumValueHelp>(registry, "BindingFullEnumValueHelp",
                                                                        "Describes an enumerator.");
    PZL_BUILTIN_FIELD(enumValue, BindingFullEnumValueHelp, name, "", kString);
    PZL_BUILTIN_FIELD(enumValue, BindingFullEnumValueHelp, description, "", kString);
    PZL_BUILTIN_FIELD(enumValue, BindingFullEnumValueHelp, value, "", Scalar(TypeKind::Int32));

    TypeBuilder field = DeclareHelpStruct<BindingFullFieldHelp>(registry, "BindingFullFieldHelp",
                                                                "Describes a member of a struct.");
    PZL_BUILTIN_FIELD(field, BindingFullFieldHelp, name, "", kString);
    PZL_BUILTIN_FIELD(field, BindingFullFieldHelp, description, "", kString);
    PZL_BUILTIN_FIELD(field, BindingFullFieldHelp, offset, "", Scalar(TypeKind::UInt32));
    PZL_BUILTIN_FIELD(field, BindingFullFieldHelp, type, "", typeIdType);
    PZL_BUILTIN_FIELD(field, BindingFullFieldHelp, optional, "", kBool);

    TypeBuilder typeHelp = DeclareHelpStruct<BindingFullTypeHelp>(registry, "BindingFullTypeHelp",
                                                                  "Describes a struct or enum type.");
    PZL_BUILTIN_FIELD(typeHelp, BindingFullTypeHelp, name, "", kString);
    PZL_BUILTIN_FIELD(typeHelp, BindingFullTypeHelp, nameSpace, "", kString);
    PZL_BUILTIN_FIELD(typeHelp, BindingFullTypeHelp, size, "", Scalar(TypeKind::UInt32));
    PZL_BUILTIN_FIELD(typeHelp, BindingFullTypeHelp, description, "", kString);
    PZL_BUILTIN_FIELD(typeHelp, BindingFullTypeHelp, tags, "", VectorOf(TypeKind::String));
    PZL_BUILTIN_FIELD(typeHelp, BindingFullTypeHelp, fields, "", VectorOf(TypeKind::Struct, field.Record()));
    PZL_BUILTIN_FIELD(typeHelp, BindingFullTypeHelp, values, "", VectorOf(TypeKind::Struct, enumValue.Record()));

    TypeBuilder event = DeclareHelpStruct<BindingFullEventHelp>(registry, "BindingFullEventHelp",
                                                                "Describes an event.");
    PZL_BUILTIN_FIELD(event, BindingFullEventHelp, name, "", kString);
    PZL_BUILTIN_FIELD(event, BindingFullEventHelp, nameSpace, "", kString);
    PZL_BUILTIN_FIELD(event, BindingFullEventHelp, type, "", typeIdType);
    PZL_BUILTIN_FIELD(event, BindingFullEventHelp, description, "", kString);
    PZL_BUILTIN_FIELD(event, BindingFullEventHelp, tags, "", VectorOf(TypeKind::String));

    TypeBuilder api = DeclareHelpStruct<BindingFullApiHelp>(registry, "BindingFullApiHelp",
                                                            "Describes the exposed native API.");
    PZL_BUILTIN_FIELD(api, BindingFullApiHelp, functions, "", VectorOf(TypeKind::Struct, function.Record()));
    PZL_BUILTIN_FIELD(api, BindingFullApiHelp, types, "", VectorOf(TypeKind::Struct, typeHelp.Record()));
    PZL_BUILTIN_FIELD(api, BindingFullApiHelp, events, "", VectorOf(TypeKind::Struct, event.Record()));
}

}  // namespace Kesh
