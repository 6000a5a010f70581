#include "binding/StructToValue.h"

#include <optional>
#include <utility>

#include "binding/ConversionDepth.h"
#include "binding/ElementKindDispatch.h"
#include "binding/FieldRecord.h"
#include "binding/NativeToValue.h"
#include "binding/NativeTypeDescriptor.h"
#include "binding/TypeRecord.h"
#include "log/FormatPositional.h"

namespace Kesh {
namespace {

bool IsEnumSize(std::uint32_t size) { return size == 1 || size == 2 || size == 4 || size == 8; }

bool WriteThroughDescriptor(ConversionResult& result, BindingProperty& target, const void* fieldNative,
                            const FieldRecord& field, const TypeRegistry* registry) {
    if (field.descriptor == nullptr) {
        SetUnregisteredStructError(result);
        return false;
    }
    if (const auto* native = dynamic_cast<const NativeTypeDescriptor*>(field.descriptor.get())) {
        return native->WriteValue(result, target, fieldNative, registry);
    }
    // A descriptor from elsewhere only knows how to fill a result of its own.
    ConversionResult own;
    field.descriptor->ToValue(own, fieldNative, registry);
    if (!own.Ok()) {
        result.SetError(own.ErrorMessage());
        return false;
    }
    target = std::move(own.Value());
    return true;
}

// Whether the native member holds its default, decided without converting it; none
// when only the converted value can tell (structs and descriptor conversions).
std::optional<bool> NativeIsDefault(const void* fieldNative, const FieldRecord& field) {
    if (field.optional) {
        return std::nullopt;
    }
    const TypeIdentifier& type = field.type;
    std::optional<bool> isDefault;
    switch (type.kind) {
    case TypeKind::Enum:
        if (type.record != nullptr && IsEnumSize(type.record->size)) {
            isDefault = ReadEnumNumber(fieldNative, type.record->size, type.record->isUnsignedEnum) == 0;
        }
        break;
    case TypeKind::Vector:
        VisitBuiltinKind(type.elementKind, [&]<typename T>(std::type_identity<T>) {
            isDefault = static_cast<const std::vector<T>*>(fieldNative)->empty();
        });
        break;
    case TypeKind::Map:
        VisitBuiltinKind(type.elementKind, [&]<typename T>(std::type_identity<T>) {
            isDefault = static_cast<const std::unordered_map<std::string, T>*>(fieldNative)->empty();
        });
        break;
    default:
        VisitBuiltinKind(type.kind, [&]<typename T>(std::type_identity<T>) {
            const T& value = *static_cast<const T*>(fieldNative);
            if constexpr (std::is_arithmetic_v<T>) {
                isDefault = value == T{};  // a NaN compares unequal and is kept
            } else if constexpr (std::is_same_v<T, BindingProperty>) {
                isDefault = IsDefaultValue(value);
            } else {
                isDefault = value.empty();
            }
        });
        break;
    }
    return isDefault;
}

}  // namespace

bool WriteStruct(ConversionResult& result, BindingProperty& target, const void* native, const TypeRecord* record,
                 const TypeRegistry* registry) {
    if (record == nullptr) {
        SetUnregisteredStructError(result);
        return false;
    }
    const ConversionDepth depth;
    if (!depth.Allowed()) {
        result.SetError(FormatPositionalString(
            "Couldn't convert native value because it's nested more than %1 levels deep.",
            {ConversionDepth::kMaxDepth}));
        return false;
    }
    if (registry == nullptr) {
        registry = record->registry;
    }
    target.Clear();
    target.MakeStructure();
    const auto* bytes = static_cast<const unsigned char*>(native);
    for (const FieldRecord& field : record->fields) {
        const void* fieldNative = bytes + field.offset;
        if ((field.flags & kFieldOmitDefault) == 0) {
            if (!WriteField(result, target.Member(field.name), fieldNative, field, registry)) {
                return false;
            }
            continue;
        }
        if (const std::optional<bool> isDefault = NativeIsDefault(fieldNative, field)) {
            if (!*isDefault && !WriteField(result, target.Member(field.name), fieldNative, field, registry)) {
                return false;
            }
            continue;
        }
        // Only the converted value tells whether it is a default, and there is no way
        // to take a member out again, so this rare case converts aside first.
        ConversionResult aside;
        if (!WriteField(aside, aside.Value(), fieldNative, field, registry)) {
            result.SetError(aside.ErrorMessage());
            return false;
        }
        if (!IsDefaultValue(aside.Value())) {
            target.Member(field.name) = std::move(aside.Value());
        }
    }
    return true;
}

bool WriteField(ConversionResult& result, BindingProperty& target, const void* fieldNative,
                const FieldRecord& field, const TypeRegistry* registry) {
    if (field.optional) {
        return WriteThroughDescriptor(result, target, fieldNative, field, registry);
    }
    const TypeIdentifier& type = field.type;
    bool written = false;
    switch (type.kind) {
    case TypeKind::Enum:
        if (type.record != nullptr && IsEnumSize(type.record->size)) {
            target.AssignEnum(ReadEnumNumber(fieldNative, type.record->size, type.record->isUnsignedEnum),
                              type.record->staticType);
            return true;
        }
        return WriteThroughDescriptor(result, target, fieldNative, field, registry);
    case TypeKind::Struct:
        if (type.record != nullptr) {
            return WriteStruct(result, target, fieldNative, type.record, registry);
        }
        return WriteThroughDescriptor(result, target, fieldNative, field, registry);
    case TypeKind::Vector:
        if (VisitBuiltinKind(type.elementKind, [&]<typename T>(std::type_identity<T>) {
                written = Detail::WriteVector(result, target, *static_cast<const std::vector<T>*>(fieldNative),
                                              registry, nullptr);
            })) {
            return written;
        }
        return WriteThroughDescriptor(result, target, fieldNative, field, registry);
    case TypeKind::Map:
        if (VisitBuiltinKind(type.elementKind, [&]<typename T>(std::type_identity<T>) {
                written = Detail::WriteMap(
                    result, target, *static_cast<const std::unordered_map<std::string, T>*>(fieldNative), registry,
                    nullptr);
            })) {
            return written;
        }
        return WriteThroughDescriptor(result, target, fieldNative, field, registry);
    default:
        if (VisitBuiltinKind(type.kind, [&]<typename T>(std::type_identity<T>) {
                written = WriteNativeWith(result, target, *static_cast<const T*>(fieldNative), registry, nullptr);
            })) {
            return written;
        }
        return WriteThroughDescriptor(result, target, fieldNative, field, registry);
    }
}

}  // namespace Kesh
