#pragma once

#include <string>
#include <string_view>

#include "api/TextMap.h"
#include "runtime/HttpMethod.h"

namespace Kesh {

struct FunctionRecord;
class FunctionBinding;

// One request on its way to a function: what the route matcher needs and what it found.
struct ParsedRequest {
    HttpMethod method = HttpMethod::None;
    // Only for HttpMethod::Custom.
    std::string customMethod;
    // As received.
    std::string url;
    const FunctionRecord* function = nullptr;
    const FunctionBinding* binding = nullptr;
    // Captured path parameters by name, URL-decoded, in template order.
    TextMap pathArguments;

    // The URL without its query string (from the first "?" up to a "#" or the end): what
    // templates are matched against.
    std::string Path() const;
    // The query string without its "?", or "" when there is none.
    std::string_view Query() const;
};

}  // namespace Kesh
