#include "runtime/HttpMethod.h"

#include <iterator>

namespace Kesh {

const char* HttpMethodName(HttpMethod method) noexcept {
    static constexpr const char* kNames[] = {"", "DELETE", "GET", "HEAD", "OPTIONS", "PATCH", "POST", "PUT", ""};
    const auto number = static_cast<std::uint32_t>(method);
    return number < std::size(kNames) ? kNames[number] : "";
}

HttpMethod HttpMethodFromHost(std::uint32_t number) noexcept {
    return number >= 1 && number <= 8 ? static_cast<HttpMethod>(number) : HttpMethod::None;
}

}  // namespace Kesh
