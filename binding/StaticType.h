#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace Kesh {

class BindingProperty;

namespace Detail {

constexpr std::uint32_t kFnvOffsetBasis = 0x811c9dc5u;
constexpr std::uint32_t kFnvPrime = 16777619u;

// 32-bit FNV-1a over the bytes of a NUL-terminated text.
constexpr std::uint32_t Fnv1a(const char* text) {
    std::uint32_t hash = kFnvOffsetBasis;
    for (; *text != '\0'; ++text) {
        hash ^= static_cast<unsigned char>(*text);
        hash *= kFnvPrime;
    }
    return hash;
}

// 32-bit FNV-1a over a byte range.
constexpr std::uint32_t Fnv1a(const unsigned char* bytes, std::size_t count) {
    std::uint32_t hash = kFnvOffsetBasis;
    for (std::size_t i = 0; i < count; ++i) {
        hash ^= bytes[i];
        hash *= kFnvPrime;
    }
    return hash;
}

// The compiler's own spelling of T, embedded in a function signature. It is fixed at
// build time and differs for every distinct type, which makes it a good id source.
// The one exception: types of the same name in unnamed namespaces of different files
// are spelled alike, so such a type that reaches a registry needs a fixed id.
template <typename T>
constexpr const char* TypeSignature() {
    return __PRETTY_FUNCTION__;
}

}  // namespace Detail

// Identity of one native type: a 32-bit id fixed at build time and a display name.
// One record exists per native type; values and type records point at it, so it is
// never copied.
struct StaticType {
    // The identity that means "no native type"; it is never entered in a registry's
    // identity table.
    static constexpr std::uint32_t kNoTypeId = 0;
    // "#" and eight hexadecimal digits.
    static constexpr std::size_t kUnnamedLength = 9;

    std::uint32_t id;
    // Points at the given display name, or at unnamedText for a type without one.
    const char* name;
    char unnamedText[kUnnamedLength + 1];

    constexpr StaticType(std::uint32_t typeId, const char* displayName)
        : id(typeId), name(displayName), unnamedText{} {
        if (displayName == nullptr) {
            constexpr char kDigits[] = "0123456789ABCDEF";
            unnamedText[0] = '#';
            for (std::size_t i = 0; i < 8; ++i) {
                unnamedText[1 + i] = kDigits[(typeId >> (28 - 4 * i)) & 0xFu];
            }
            unnamedText[kUnnamedLength] = '\0';
            name = unnamedText;
        }
    }
    StaticType(const StaticType&) = delete;
    StaticType& operator=(const StaticType&) = delete;

    constexpr bool IsNone() const { return id == kNoTypeId; }
};

// The record with the reserved identity.
const StaticType& NoStaticType();

// A type that must keep an id (and possibly a display name) chosen elsewhere gets a
// specialisation of this trait through PZL_STATIC_TYPE or PZL_STATIC_TYPE_ID; every
// other type's id is derived from its compiler signature.
template <typename T>
struct FixedStaticType {
    static constexpr bool kFixed = false;
};

// The build-time id of T (cv- and reference-qualifiers ignored).
template <typename T>
constexpr std::uint32_t StaticTypeIdOf() {
    using Bare = std::remove_cvref_t<T>;
    if constexpr (std::is_void_v<Bare>) {
        return StaticType::kNoTypeId;
    } else if constexpr (FixedStaticType<Bare>::kFixed) {
        return FixedStaticType<Bare>::kId;
    } else {
        return Detail::Fnv1a(Detail::TypeSignature<Bare>());
    }
}

// The one StaticType record of T, built at compile time; void stands for "no native
// type".
template <typename T>
const StaticType& StaticTypeOf() {
    using Bare = std::remove_cvref_t<T>;
    if constexpr (!std::is_same_v<T, Bare>) {
        // One record per type: qualified spellings share the bare type's record.
        return StaticTypeOf<Bare>();
    } else if constexpr (std::is_void_v<Bare>) {
        return NoStaticType();
    } else {
        constexpr std::uint32_t kId = StaticTypeIdOf<Bare>();
        static_assert(kId != StaticType::kNoTypeId, "a native type cannot take the reserved identity");
        if constexpr (FixedStaticType<Bare>::kFixed) {
            static constinit const StaticType record(kId, FixedStaticType<Bare>::kName);
            return record;
        } else {
            static constinit const StaticType record(kId, nullptr);
            return record;
        }
    }
}

}  // namespace Kesh

// Gives Type a fixed id and display name. Use at global scope (or inside namespace
// Kesh), in the header that defines Type, so that every user sees the same identity.
#define PZL_STATIC_TYPE(Type, typeId, displayName)                 \
    template <>                                                    \
    struct Kesh::FixedStaticType<Type> {                           \
        static constexpr bool kFixed = true;                       \
        static constexpr std::uint32_t kId = (typeId);             \
        static constexpr const char* kName = (displayName);        \
    }

// Gives Type a fixed id; its display name is the "#XXXXXXXX" form of the id.
#define PZL_STATIC_TYPE_ID(Type, typeId) PZL_STATIC_TYPE(Type, typeId, nullptr)

PZL_STATIC_TYPE(Kesh::BindingProperty, 0xAF98C378u,
                "const char *__cdecl StaticType::Name<class Kesh::BindingProperty>(void)");
PZL_STATIC_TYPE(double, 0xBDCD4E3Bu, "const char *__cdecl StaticType::Name<double>(void)");
