#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

#include "binding/StaticType.h"
#include "binding/TypeBuilder.h"
#include "binding/TypeIdentifier.h"

// Helpers for declaring the built-in types from their native definitions.
namespace Kesh::Detail {

// Appends a field of the built-in kind: no description override, no described type,
// flags 0, not optional.
template <typename Member>
void AddBuiltinField(TypeBuilder& builder, const char* name, const char* description, std::size_t offset,
                     const TypeIdentifier& type, std::unique_ptr<TypeDescriptor> descriptor = nullptr) {
    builder.AddField(name, description, static_cast<std::uint32_t>(offset), StaticTypeOf<Member>(), type,
                     TypeIdentifier{}, 0, std::move(descriptor), false);
}

constexpr TypeIdentifier Scalar(TypeKind kind) {
    return TypeIdentifier{kind, TypeKind::None, nullptr};
}

constexpr TypeIdentifier StructOf(const TypeRecord* record) {
    return TypeIdentifier{TypeKind::Struct, TypeKind::None, record};
}

constexpr TypeIdentifier VectorOf(TypeKind elementKind, const TypeRecord* record = nullptr) {
    return TypeIdentifier{TypeKind::Vector, elementKind, record};
}

}  // namespace Kesh::Detail

// Offsets are taken with offsetof, which needs standard-layout structs.
#define PZL_BUILTIN_FIELD(builder, Owner, member, description, ...)                            \
    do {                                                                                       \
        static_assert(std::is_standard_layout_v<Owner>, #Owner " must be standard-layout");    \
        ::Kesh::Detail::AddBuiltinField<decltype(Owner::member)>(                              \
            builder, #member, description, offsetof(Owner, member), __VA_ARGS__);              \
    } while (false)
