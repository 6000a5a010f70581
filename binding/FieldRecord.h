#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "binding/StaticType.h"
#include "binding/TypeDescriptor.h"
#include "binding/TypeIdentifier.h"

namespace Kesh {

class TypeRegistry;

// Field flags.
// When converting to a dynamic value, leave the member out while it holds its default.
constexpr std::uint32_t kFieldOmitDefault = 1;
// When converting from a dynamic value, a missing or Empty member is an error.
constexpr std::uint32_t kFieldRequired = 2;

// One member of a registered struct.
struct FieldRecord {
    std::string name;
    // FNV-1a of name.
    std::uint32_t nameHash = 0;
    std::string description;
    const StaticType* staticType = nullptr;
    // Byte offset of the member inside the native struct.
    std::uint32_t offset = 0;
    // The type conversions use.
    TypeIdentifier type;
    // The type the member is described as to the host, when set; all zero otherwise.
    TypeIdentifier describedType;
    std::uint32_t flags = 0;
    std::unique_ptr<TypeDescriptor> descriptor;
    TypeRegistry* registry = nullptr;
    // The native member is an optional wrapper around the member type, so only the
    // descriptor can convert it.
    bool optional = false;

    // The identifier to describe the member by: describedType when set, else type.
    const TypeIdentifier& HostType() const { return describedType.IsSet() ? describedType : type; }
};

}  // namespace Kesh
