#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/TypeKind.h"

namespace Kesh {

// The native forms of the type kinds: what a member of a C++ type is converted as.
//   bool, the fixed-width integers, float, double
//   std::string                                string
//   BindingProperty                            object
//   std::vector<std::uint8_t>                  blob
//   std::vector<T>                             vector of T (std::vector<bool> bit by bit)
//   std::unordered_map<std::string, T>         map of T
//   an enum                                    enum (its record found by StaticTypeOf)
//   any other class                            struct (its record found by StaticTypeOf)
//   std::optional<T>                           T, converted only through its descriptor
// A vector or map element is never itself a vector or map.

using Blob = std::vector<std::uint8_t>;

namespace Detail {

template <typename T>
struct IsVector : std::false_type {};
template <typename T>
struct IsVector<std::vector<T>> : std::true_type {
    using Element = T;
};

template <typename T>
struct IsStringMap : std::false_type {};
template <typename T>
struct IsStringMap<std::unordered_map<std::string, T>> : std::true_type {
    using Element = T;
};

template <typename T>
struct IsOptional : std::false_type {};
template <typename T>
struct IsOptional<std::optional<T>> : std::true_type {
    using Value = T;
};

// Ordered maps are not a native kind: the map kind is a hash map, whose layout the
// built-in rules rely on.
template <typename T>
struct IsOrderedMap : std::false_type {};
template <typename K, typename T, typename C, typename A>
struct IsOrderedMap<std::map<K, T, C, A>> : std::true_type {};

template <typename T>
constexpr bool kIsCharacter = std::is_same_v<T, char> || std::is_same_v<T, wchar_t> ||
                              std::is_same_v<T, char8_t> || std::is_same_v<T, char16_t> ||
                              std::is_same_v<T, char32_t>;

template <typename T>
constexpr TypeKind IntegerKind() {
    constexpr bool isSigned = std::is_signed_v<T>;
    if constexpr (sizeof(T) == 1) {
        return isSigned ? TypeKind::Int8 : TypeKind::UInt8;
    } else if constexpr (sizeof(T) == 2) {
        return isSigned ? TypeKind::Int16 : TypeKind::UInt16;
    } else if constexpr (sizeof(T) == 4) {
        return isSigned ? TypeKind::Int32 : TypeKind::UInt32;
    } else {
        static_assert(sizeof(T) == 8, "integers of 1, 2, 4 or 8 bytes only");
        return isSigned ? TypeKind::Int64 : TypeKind::UInt64;
    }
}

}  // namespace Detail

// The kind a plain (not optional, not container) native type converts as, or None for
// a type that is no such thing.
template <typename T>
constexpr TypeKind ScalarKindOf() {
    if constexpr (std::is_same_v<T, bool>) {
        return TypeKind::Bool;
    } else if constexpr (std::is_integral_v<T> && !Detail::kIsCharacter<T>) {
        return Detail::IntegerKind<T>();
    } else if constexpr (std::is_same_v<T, float>) {
        return TypeKind::Float;
    } else if constexpr (std::is_same_v<T, double>) {
        return TypeKind::Double;
    } else if constexpr (std::is_same_v<T, std::string>) {
        return TypeKind::String;
    } else if constexpr (std::is_same_v<T, BindingProperty>) {
        return TypeKind::Object;
    } else if constexpr (std::is_same_v<T, Blob>) {
        return TypeKind::Blob;
    } else if constexpr (std::is_enum_v<T>) {
        return TypeKind::Enum;
    } else if constexpr (Detail::IsOrderedMap<T>::value) {
        static_assert(!Detail::IsOrderedMap<T>::value, "a map member must be a std::unordered_map<std::string, T>");
        return TypeKind::None;
    } else if constexpr (std::is_class_v<T> && !Detail::IsVector<T>::value && !Detail::IsStringMap<T>::value &&
                         !Detail::IsOptional<T>::value) {
        return TypeKind::Struct;
    } else {
        return TypeKind::None;
    }
}

// Whether a vector or map of kind has a rule that needs no descriptor object.
constexpr bool HasBuiltinElementRule(TypeKind kind) {
    switch (kind) {
    case TypeKind::Bool:
    case TypeKind::Int8:
    case TypeKind::UInt8:
    case TypeKind::Int16:
    case TypeKind::UInt16:
    case TypeKind::Int32:
    case TypeKind::UInt32:
    case TypeKind::Int64:
    case TypeKind::UInt64:
    case TypeKind::Float:
    case TypeKind::Double:
    case TypeKind::String:
    case TypeKind::Object:
    case TypeKind::Blob:
        return true;
    default:
        return false;
    }
}

// What a native member type is: its kind, its elements' kind and whether the member
// is an optional wrapper. Every type the conversions accept has kind != None.
template <typename T>
struct NativeTraits {
    using Value = T;
    static constexpr TypeKind kKind = ScalarKindOf<T>();
    static constexpr TypeKind kElementKind = TypeKind::None;
    static constexpr bool kOptional = false;
};

template <typename T>
    requires(!std::is_same_v<T, std::uint8_t>)
struct NativeTraits<std::vector<T>> {
    static_assert(ScalarKindOf<T>() != TypeKind::None,
                  "a vector element must be a scalar, string, object, blob, enum or struct");
    using Value = std::vector<T>;
    using Element = T;
    static constexpr TypeKind kKind = TypeKind::Vector;
    static constexpr TypeKind kElementKind = ScalarKindOf<T>();
    static constexpr bool kOptional = false;
};

template <typename T>
struct NativeTraits<std::unordered_map<std::string, T>> {
    static_assert(ScalarKindOf<T>() != TypeKind::None,
                  "a map element must be a scalar, string, object, blob, enum or struct");
    using Value = std::unordered_map<std::string, T>;
    using Element = T;
    static constexpr TypeKind kKind = TypeKind::Map;
    static constexpr TypeKind kElementKind = ScalarKindOf<T>();
    static constexpr bool kOptional = false;
};

template <typename T>
struct NativeTraits<std::optional<T>> {
    static_assert(!Detail::IsOptional<T>::value, "an optional of an optional is not a native type");
    using Value = T;
    static constexpr TypeKind kKind = NativeTraits<T>::kKind;
    static constexpr TypeKind kElementKind = NativeTraits<T>::kElementKind;
    static constexpr bool kOptional = true;
};

// The type a vector, map or optional holds records for (the element or the value), or
// T itself.
template <typename T>
struct RecordSubject {
    using Type = T;
};
template <typename T>
struct RecordSubject<std::vector<T>> {
    using Type = T;
};
template <typename T>
struct RecordSubject<std::unordered_map<std::string, T>> {
    using Type = T;
};
template <typename T>
struct RecordSubject<std::optional<T>> {
    using Type = typename RecordSubject<T>::Type;
};

// A native type the conversions can handle.
template <typename T>
concept ConvertibleNative = NativeTraits<T>::kKind != TypeKind::None;

}  // namespace Kesh
