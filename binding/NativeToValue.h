#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "binding/NativeAssign.h"
#include "binding/NativeTraits.h"
#include "binding/ScalarToValue.h"
#include "binding/StaticType.h"
#include "binding/StructToValue.h"
#include "binding/TypeRecord.h"

// The to-value direction for native C++ types. Every value is built in its final place:
// containers append their element or add their member first and convert into it.
namespace Kesh {

template <typename T>
bool WriteNativeWith(ConversionResult& result, BindingProperty& target, const T& native,
                     const TypeRegistry* registry, const TypeRecord* record);

namespace Detail {

template <typename T>
bool WriteVector(ConversionResult& result, BindingProperty& target, const std::vector<T>& native,
                 const TypeRegistry* registry, const TypeRecord* record) {
    target.Clear();
    target.MakeCollection();
    target.Reserve(native.size());
    if constexpr (std::is_same_v<T, bool>) {
        for (const bool bit : native) {
            target.Append() = bit;
        }
        return true;
    } else {
        for (const T& element : native) {
            if (!WriteNativeWith(result, target.Append(), element, registry, record)) {
                return false;
            }
        }
        return true;
    }
}

template <typename T>
bool WriteMap(ConversionResult& result, BindingProperty& target, const std::unordered_map<std::string, T>& native,
              const TypeRegistry* registry, const TypeRecord* record) {
    target.Clear();
    target.MakeStructure();
    for (const auto& [key, value] : native) {
        if (!WriteNativeWith(result, target.Member(key), value, registry, record)) {
            return false;
        }
    }
    return true;
}

}  // namespace Detail

// Converts native into target by the rule of T's kind. record is T's enum or struct
// record (its element's for a container), or null. target is result's value or lies
// inside it; after a failure it must not be used.
template <typename T>
bool WriteNativeWith(ConversionResult& result, BindingProperty& target, const T& native,
                     const TypeRegistry* registry, const TypeRecord* record) {
    using Traits = NativeTraits<T>;
    static_assert(Traits::kKind != TypeKind::None, "not a native type the conversions know");
    if constexpr (Traits::kOptional) {
        if (!native.has_value()) {
            target.Clear();
            return true;
        }
        return WriteNativeWith(result, target, *native, registry, record);
    } else if constexpr (Traits::kKind == TypeKind::Float) {
        target = static_cast<double>(native);
        return true;
    } else if constexpr (std::is_arithmetic_v<T>) {
        target = native;
        return true;
    } else if constexpr (Traits::kKind == TypeKind::String) {
        target.AssignString(std::string_view(native));
        return true;
    } else if constexpr (Traits::kKind == TypeKind::Object) {
        if (&target != &native) {
            target = native;
        }
        return true;
    } else if constexpr (Traits::kKind == TypeKind::Blob) {
        target.AssignBlob(native);
        return true;
    } else if constexpr (Traits::kKind == TypeKind::Enum) {
        // An enum nobody registered still carries its own identity.
        const StaticType* type = record != nullptr && record->staticType != nullptr ? record->staticType
                                                                                     : &StaticTypeOf<T>();
        target.AssignEnum(ReadEnumNumber(&native, sizeof(T), std::is_unsigned_v<std::underlying_type_t<T>>), type);
        return true;
    } else if constexpr (Traits::kKind == TypeKind::Struct) {
        return WriteStruct(result, target, &native, record, registry);
    } else if constexpr (Traits::kKind == TypeKind::Vector) {
        return Detail::WriteVector(result, target, native, registry, record);
    } else {
        static_assert(Traits::kKind == TypeKind::Map);
        return Detail::WriteMap(result, target, native, registry, record);
    }
}

// Converts a native value of any convertible type into result's value. A struct type
// is looked up in registry; without one it counts as unregistered.
template <typename T>
void ToValue(ConversionResult& result, const T& native, const TypeRegistry* registry) {
    result.SetSuccess();
    WriteNativeWith(result, result.Value(), native, registry, LookupRecord<T>(registry));
}

template <typename T>
ConversionResult ToValue(const T& native, const TypeRegistry* registry) {
    ConversionResult result;
    ToValue(result, native, registry);
    return result;
}

}  // namespace Kesh
