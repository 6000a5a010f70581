#pragma once

#include <cstdint>

namespace Kesh {

// Where an argument of an exposed function may come from. Typed arguments of a request
// may fill a parameter of any location.
enum class ArgumentLocation : std::uint32_t {
    // A header, a captured path parameter or the query string.
    Any = 0,
    Query = 1,
    Path = 2,
    Header = 4,
    Body = 5,
};

}  // namespace Kesh
