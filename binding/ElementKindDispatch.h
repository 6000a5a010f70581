#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "binding/BindingProperty.h"
#include "binding/NativeTraits.h"
#include "binding/TypeKind.h"

namespace Kesh {

// Calls visit(std::type_identity<T>{}) with the native type of a kind that has a
// built-in rule (bool, the integers, float, double, string, object, blob). Returns
// false, without calling, for every other kind.
template <typename Visitor>
bool VisitBuiltinKind(TypeKind kind, Visitor&& visit) {
    switch (kind) {
    case TypeKind::Bool: visit(std::type_identity<bool>{}); return true;
    case TypeKind::Int8: visit(std::type_identity<std::int8_t>{}); return true;
    case TypeKind::UInt8: visit(std::type_identity<std::uint8_t>{}); return true;
    case TypeKind::Int16: visit(std::type_identity<std::int16_t>{}); return true;
    case TypeKind::UInt16: visit(std::type_identity<std::uint16_t>{}); return true;
    case TypeKind::Int32: visit(std::type_identity<std::int32_t>{}); return true;
    case TypeKind::UInt32: visit(std::type_identity<std::uint32_t>{}); return true;
    case TypeKind::Int64: visit(std::type_identity<std::int64_t>{}); return true;
    case TypeKind::UInt64: visit(std::type_identity<std::uint64_t>{}); return true;
    case TypeKind::Float: visit(std::type_identity<float>{}); return true;
    case TypeKind::Double: visit(std::type_identity<double>{}); return true;
    case TypeKind::String: visit(std::type_identity<std::string>{}); return true;
    case TypeKind::Object: visit(std::type_identity<BindingProperty>{}); return true;
    case TypeKind::Blob: visit(std::type_identity<Blob>{}); return true;
    default: return false;
    }
}

}  // namespace Kesh
