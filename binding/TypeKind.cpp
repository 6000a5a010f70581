#include "binding/TypeKind.h"

namespace Kesh {

namespace {

constexpr const char* kKindNames[] = {
    "",       "bool",   "int8",   "uint8",  "int16",  "uint16", "int32",
    "uint32", "int64",  "uint64", "float",  "double", "string", "object",
    "blob",   "vector", "enum",   "struct", "callback", "map",
};

}  // namespace

const char* TypeKindName(std::uint32_t number) {
    if (number >= sizeof(kKindNames) / sizeof(kKindNames[0])) {
        return "";
    }
    return kKindNames[number];
}

const char* TypeKindName(TypeKind kind) {
    return TypeKindName(static_cast<std::uint32_t>(kind));
}

}  // namespace Kesh
