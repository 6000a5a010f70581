#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "binding/EnumeratorRecord.h"
#include "binding/FieldRecord.h"
#include "binding/StaticType.h"

namespace Kesh {

class TypeRegistry;

// One registered struct or enum type.
struct TypeRecord {
    // Byte size of the native type.
    std::uint32_t size = 0;
    bool isEnum = false;
    // An enum whose numbers are unsigned: 1- and 2-byte values read zero-extended.
    bool isUnsignedEnum = false;
    // Full name, unique in its registry.
    std::string name;
    std::uint32_t id = StaticType::kNoTypeId;
    const StaticType* staticType = nullptr;
    std::string nameSpace;
    std::string description;
    std::vector<std::string> tags;
    // In declaration order.
    std::vector<FieldRecord> fields;
    // In byte order of the names (std::string compares as unsigned bytes).
    std::map<std::string, EnumeratorRecord, std::less<>> enumerators;
    TypeRegistry* registry = nullptr;
};

}  // namespace Kesh
