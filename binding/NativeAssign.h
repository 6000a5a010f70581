#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "binding/NativeTraits.h"
#include "binding/NumberAssign.h"
#include "binding/ScalarAssign.h"
#include "binding/StaticType.h"
#include "binding/StructAssign.h"
#include "binding/TypeKind.h"
#include "binding/TypeRegistry.h"
#include "log/FormatPositional.h"

// The assign direction for native C++ types: each overload picks the rule of the
// member type's kind. Records of enums and structs are looked up once per container,
// not once per element.
namespace Kesh {

// The registered record of T's enum or struct type (of its elements for a container).
template <typename T>
const TypeRecord* LookupRecord(const TypeRegistry* registry) {
    using Subject = typename RecordSubject<T>::Type;
    if constexpr (ScalarKindOf<Subject>() == TypeKind::Enum || ScalarKindOf<Subject>() == TypeKind::Struct) {
        return registry != nullptr ? registry->FindType(StaticTypeOf<Subject>()) : nullptr;
    } else {
        return nullptr;
    }
}

template <typename T>
bool AssignNativeWith(ConversionResult& result, T& out, const BindingProperty& input, const char* name,
                      const TypeRegistry* registry, const TypeRecord* record);

namespace Detail {

template <typename T>
bool AssignVector(ConversionResult& result, std::vector<T>& out, const BindingProperty& input, const char* name,
                  const TypeRegistry* registry, const TypeRecord* record) {
    out.clear();
    if (!result.Ok()) {
        return false;
    }
    if (input.Kind() != PropertyKind::Collection) {
        if (std::is_same_v<T, bool> && input.IsEmpty()) {
            SetRequiredError(result, name);
        } else {
            result.SetError(FormatPositionalString(
                "Couldn't assign value to '%1' of type vector because the input not a collection.", {name}));
        }
        return false;
    }
    const auto elements = input.Elements();
    out.resize(elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        if (elements[i].IsEmpty()) {
            continue;  // keeps its zero value
        }
        bool assigned;
        if constexpr (std::is_same_v<T, bool>) {
            bool bit = false;
            assigned = AssignBool(result, bit, elements[i], name);
            out[i] = bit;
        } else {
            assigned = AssignNativeWith(result, out[i], elements[i], name, registry, record);
        }
        if (!assigned) {
            out.clear();
            return false;
        }
    }
    return true;
}

template <typename T>
bool AssignMap(ConversionResult& result, std::unordered_map<std::string, T>& out, const BindingProperty& input,
               const char* name, const TypeRegistry* registry, const TypeRecord* record) {
    out.clear();
    if (!result.Ok()) {
        return false;
    }
    if (input.Kind() != PropertyKind::Structure) {
        result.SetError(FormatPositionalString(
            "Couldn't assign value to '%1' of type map because the input not a structure.", {name}));
        return false;
    }
    out.reserve(input.Size());
    for (const auto& member : input.Members()) {
        if (member.Value().IsEmpty()) {
            continue;
        }
        T& slot = out[std::string(member.KeyView())];
        if (!AssignNativeWith(result, slot, member.Value(), name, registry, record)) {
            out.clear();
            return false;
        }
    }
    return true;
}

}  // namespace Detail

// Assigns input to out by the rule of T's kind. record is T's enum or struct record
// (its element's for a container, its value's for an optional), or null.
template <typename T>
bool AssignNativeWith(ConversionResult& result, T& out, const BindingProperty& input, const char* name,
                      const TypeRegistry* registry, const TypeRecord* record) {
    using Traits = NativeTraits<T>;
    static_assert(Traits::kKind != TypeKind::None, "not a native type the conversions know");
    if constexpr (Traits::kOptional) {
        if (!result.Ok()) {
            out.reset();
            return false;
        }
        if (!AssignNativeWith(result, out.emplace(), input, name, registry, record)) {
            out.reset();
            return false;
        }
        return true;
    } else if constexpr (Traits::kKind == TypeKind::Bool) {
        return AssignBool(result, out, input, name);
    } else if constexpr (Traits::kKind == TypeKind::Float || Traits::kKind == TypeKind::Double) {
        double value = 0.0;
        const bool ok = AssignFloating(result, value, input, name, std::numeric_limits<T>::lowest(),
                                       std::numeric_limits<T>::max(), TypeKindName(Traits::kKind));
        out = static_cast<T>(value);
        return ok;
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        std::int64_t value = 0;
        const bool ok = AssignSigned(result, value, input, name, std::numeric_limits<T>::min(),
                                     std::numeric_limits<T>::max(), TypeKindName(Traits::kKind));
        out = static_cast<T>(value);
        return ok;
    } else if constexpr (std::is_integral_v<T>) {
        std::uint64_t value = 0;
        const bool ok =
            AssignUnsigned(result, value, input, name, std::numeric_limits<T>::max(), TypeKindName(Traits::kKind));
        out = static_cast<T>(value);
        return ok;
    } else if constexpr (Traits::kKind == TypeKind::String) {
        return AssignString(result, out, input, name, registry);
    } else if constexpr (Traits::kKind == TypeKind::Object) {
        return AssignObject(result, out, input);
    } else if constexpr (Traits::kKind == TypeKind::Blob) {
        return AssignBlob(result, out, input, name);
    } else if constexpr (Traits::kKind == TypeKind::Enum) {
        static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
        return AssignEnum(result, &out, sizeof(T), record, input, name);
    } else if constexpr (Traits::kKind == TypeKind::Struct) {
        if (!result.Ok()) {
            return false;
        }
        if (input.IsEmpty()) {
            SetRequiredError(result, name);
            return false;
        }
        return AssignStruct(result, &out, input, name, record, registry);
    } else if constexpr (Traits::kKind == TypeKind::Vector) {
        return Detail::AssignVector(result, out, input, name, registry, record);
    } else {
        static_assert(Traits::kKind == TypeKind::Map);
        return Detail::AssignMap(result, out, input, name, registry, record);
    }
}

// Assigns input to a native value of any convertible type; name is the text messages
// use for it. A failed result only resets out (a struct is left as it is).
template <typename T>
bool AssignNative(ConversionResult& result, T& out, const BindingProperty& input, const char* name,
                  const TypeRegistry* registry) {
    return AssignNativeWith(result, out, input, name, registry, LookupRecord<T>(registry));
}

}  // namespace Kesh
