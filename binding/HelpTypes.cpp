#include "binding/HelpTypes.h"

#include "binding/EnumDeclaration.h"
#include "binding/StructDeclaration.h"

namespace Kesh {

namespace {

template <typename T>
StructDeclaration<T> HelpStruct(TypeRegistry& registry, const char* name, const char* description) {
    StructDeclaration<T> declaration(registry, name);
    declaration.Description(description).Tags({"$builtin", "help"});
    return declaration;
}

}  // namespace

void RegisterHelpTypes(TypeRegistry& registry) {
    EnumDeclaration<BindingHelpFormat>(registry, "BindingHelpFormat")
        .Description("Help format for binding functions and types.")
        .Tags({"$builtin", "help"})
        .Value("Full", BindingHelpFormat::Full, "Native help format")
        .Value("Epytext", BindingHelpFormat::Epytext, "Python epytext format");

    using TypeId = BindingFullTypeIdentifier;
    HelpStruct<TypeId>(registry, "BindingFullTypeIdentifier", "Describes the type of a value.")
        .Field("type", &TypeId::type)
        .Field("elementType", &TypeId::elementType);

    using Argument = BindingFullArgumentHelp;
    HelpStruct<Argument>(registry, "BindingFullArgumentHelp", "Describes a function parameter.")
        .Field("name", &Argument::name)
        .Field("description", &Argument::description)
        .Field("type", &Argument::type)
        .Field("optional", &Argument::optional);

    using Function = BindingFullFunctionHelp;
    HelpStruct<Function>(registry, "BindingFullFunctionHelp", "Describes a function.")
        .Field("name", &Function::name)
        .Field("nameSpace", &Function::nameSpace)
        .Field("arguments", &Function::arguments)
        .Field("returns", &Function::returns)
        .Field("description", &Function::description)
        .Field("help", &Function::help)
        .Field("threadSafe", &Function::threadSafe)
        .Field("async", &Function::async)
        .Field("tags", &Function::tags);

    using EnumValue = BindingFullEnumValueHelp;
    HelpStruct<EnumValue>(registry, "BindingFullEnumValueHelp", "Describes an enumerator.")
        .Field("name", &EnumValue::name)
        .Field("description", &EnumValue::description)
        .Field("value", &EnumValue::value);

    using FieldHelp = BindingFullFieldHelp;
    HelpStruct<FieldHelp>(registry, "BindingFullFieldHelp", "Describes a member of a struct.")
        .Field("name", &FieldHelp::name)
        .Field("description", &FieldHelp::description)
        .Field("offset", &FieldHelp::offset)
        .Field("type", &FieldHelp::type)
        .Field("optional", &FieldHelp::optional);

    using TypeHelp = BindingFullTypeHelp;
    HelpStruct<TypeHelp>(registry, "BindingFullTypeHelp", "Describes a struct or enum type.")
        .Field("name", &TypeHelp::name)
        .Field("nameSpace", &TypeHelp::nameSpace)
        .Field("size", &TypeHelp::size)
        .Field("description", &TypeHelp::description)
        .Field("tags", &TypeHelp::tags)
        .Field("fields", &TypeHelp::fields)
        .Field("values", &TypeHelp::values);

    using Event = BindingFullEventHelp;
    HelpStruct<Event>(registry, "BindingFullEventHelp", "Describes an event.")
        .Field("name", &Event::name)
        .Field("nameSpace", &Event::nameSpace)
        .Field("type", &Event::type)
        .Field("description", &Event::description)
        .Field("tags", &Event::tags);

    using Api = BindingFullApiHelp;
    HelpStruct<Api>(registry, "BindingFullApiHelp", "Describes the exposed native API.")
        .Field("functions", &Api::functions)
        .Field("types", &Api::types)
        .Field("events", &Api::events);
}

}  // namespace Kesh
