#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "api/TextMap.h"
#include "runtime/HttpMethod.h"

namespace Kesh {

class TypeRegistry;

// The request as a function sees it when it takes a RequestContext as its first
// parameter.
struct RequestContext {
    std::uint32_t clientId = 0;
    // As received, query string included.
    std::string url;
    const TypeRegistry* registry = nullptr;
    // 100-nanosecond ticks since 1970-01-01 (UTC) when the call arrived.
    std::uint64_t time = 0;
    HttpMethod method = HttpMethod::None;
    // Empty unless method is Custom.
    std::string customMethod;
    // By name as the host sent it; a later header of a name replaces an earlier one.
    TextMap headers;

    // The header's value, or "" when there is none.
    std::string_view Header(std::string_view name) const {
        const std::string* value = headers.Find(name);
        return value != nullptr ? std::string_view(*value) : std::string_view();
    }
};

}  // namespace Kesh
