#pragma once

#include <cstdint>

namespace Kesh {

// A request method as the host numbers it. Custom carries its name as text beside the
// number; None stands for every number the host might send that is not one of these.
enum class HttpMethod : std::uint32_t {
    None = 0,
    Delete = 1,
    Get = 2,
    Head = 3,
    Options = 4,
    Patch = 5,
    Post = 6,
    Put = 7,
    Custom = 8,
};

// "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT"; "" for None, Custom and
// anything else.
const char* HttpMethodName(HttpMethod method) noexcept;

// 1 to 8 are the same methods; any other number is None.
HttpMethod HttpMethodFromHost(std::uint32_t number) noexcept;

}  // namespace Kesh
