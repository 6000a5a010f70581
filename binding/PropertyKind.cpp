#include "binding/PropertyKind.h"

namespace Kesh {

const char* PropertyKindName(unsigned kind) noexcept {
    static constexpr const char* kNames[] = {"empty",  "bool", "signed", "unsigned",   "float",
                                             "string", "blob", "enum",   "collection", "structure"};
    return kind < sizeof(kNames) / sizeof(kNames[0]) ? kNames[kind] : "";
}

}  // namespace Kesh
