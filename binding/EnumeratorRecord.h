#pragma once

#include <cstdint>
#include <string>

namespace Kesh {

struct TypeRecord;

// One enumerator of a registered enum type.
struct EnumeratorRecord {
    std::string name;
    // The enum's value, held in 32 bits whatever the enum's size.
    std::int32_t number = 0;
    std::string description;
    const TypeRecord* owner = nullptr;
};

}  // namespace Kesh
