#include "binding/StructAssign.h"

#include "binding/ConversionDepth.h"
#include "binding/ElementKindDispatch.h"
#include "binding/FieldRecord.h"
#include "binding/NativeAssign.h"
#include "binding/TypeRecord.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

bool IsEnumSize(std::uint32_t size) { return size == 1 || size == 2 || size == 4 || size == 8; }

bool AssignThroughDescriptor(ConversionResult& result, void* fieldNative, const BindingProperty& input,
                             const FieldRecord& field, const TypeRegistry* registry) {
    if (field.descriptor == nullptr) {
        // Nothing knows this member's native form.
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' of type %2 because the input is of an invalid type %3.",
            {field.name, TypeKindName(field.type.kind), PropertyKindName(input.Kind())}));
        return false;
    }
    field.descriptor->Assign(result, fieldNative, input, field.name.c_str(), registry);
    return result.Ok();
}

}  // namespace

bool AssignStruct(ConversionResult& result, void* native, const BindingProperty& input, const char* name,
                  const TypeRecord* record, const TypeRegistry* registry) {
    if (!result.Ok()) {
        return false;
    }
    if (record == nullptr) {
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' because the input is an unregistered structure or not a structure at all.",
            {name}));
        return false;
    }
    if (input.Kind() != PropertyKind::Structure) {
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' of type %2 because the input not a structure.", {name, record->name}));
        return false;
    }
    const ConversionDepth depth;
    if (!depth.Allowed()) {
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' because the input is nested more than %2 levels deep.",
            {name, ConversionDepth::kMaxDepth}));
        return false;
    }
    if (registry == nullptr) {
        registry = record->registry;
    }
    auto* bytes = static_cast<unsigned char*>(native);
    for (const FieldRecord& field : record->fields) {
        const BindingProperty& member = input.GetMember(field.name);
        if (member.IsEmpty()) {
            if ((field.flags & kFieldRequired) != 0) {
                result.SetError(FormatPositionalString(
                    "Couldn't assign value to '%1' of type %2 because the input structure doesn't have required "
                    "field '%3'.",
                    {name, record->name, field.name}));
                return false;
            }
            continue;
        }
        if (!AssignField(result, bytes + field.offset, member, field, registry)) {
            return false;
        }
    }
    return true;
}

bool AssignField(ConversionResult& result, void* fieldNative, const BindingProperty& input,
                 const FieldRecord& field, const TypeRegistry* registry) {
    if (field.optional) {
        return AssignThroughDescriptor(result, fieldNative, input, field, registry);
    }
    const TypeIdentifier& type = field.type;
    const char* name = field.name.c_str();
    bool assigned = false;
    switch (type.kind) {
    case TypeKind::Enum:
        if (type.record != nullptr && IsEnumSize(type.record->size)) {
            return AssignEnum(result, fieldNative, type.record->size, type.record, input, name);
        }
        return AssignThroughDescriptor(result, fieldNative, input, field, registry);
    case TypeKind::Struct:
        if (type.record != nullptr) {
            return AssignStruct(result, fieldNative, input, name, type.record, registry);
        }
        return AssignThroughDescriptor(result, fieldNative, input, field, registry);
    case TypeKind::Vector:
        if (VisitBuiltinKind(type.elementKind, [&]<typename T>(std::type_identity<T>) {
                assigned = Detail::AssignVector(result, *static_cast<std::vector<T>*>(fieldNative), input, name,
                                                registry, nullptr);
            })) {
            return assigned;
        }
        return AssignThroughDescriptor(result, fieldNative, input, field, registry);
    case TypeKind::Map:
        if (VisitBuiltinKind(type.elementKind, [&]<typename T>(std::type_identity<T>) {
                assigned = Detail::AssignMap(result, *static_cast<std::unordered_map<std::string, T>*>(fieldNative),
                                             input, name, registry, nullptr);
            })) {
            return assigned;
        }
        return AssignThroughDescriptor(result, fieldNative, input, field, registry);
    default:
        if (VisitBuiltinKind(type.kind, [&]<typename T>(std::type_identity<T>) {
                assigned = AssignNativeWith(result, *static_cast<T*>(fieldNative), input, name, registry, nullptr);
            })) {
            return assigned;
        }
        return AssignThroughDescriptor(result, fieldNative, input, field, registry);
    }
}

}  // namespace Kesh
