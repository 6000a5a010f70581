#pragma once

#include <string>
#include <vector>

#include "api/ParsedRequest.h"
#include "api/UrlTemplate.h"

namespace Kesh {

struct FunctionRecord;
class FunctionBinding;

// How one exposed function is reached: its template, compiled once.
struct Route {
    const FunctionRecord* function = nullptr;
    const FunctionBinding* binding = nullptr;
    // The template when it holds no "{"; else empty and compiled holds it.
    std::string literalPath;
    bool hasPattern = false;
    UrlTemplate compiled;

    // The template is the binding's URL path, or the function's name when that is empty.
    static Route Build(const FunctionRecord& function, const FunctionBinding& binding);
};

// Chooses the route for request among routes: the URL (without its query string) must
// match as a whole and the binding must accept the method. Among several, the one whose
// captured texts are shortest in sum wins, the earlier on a tie. On success the request
// holds the function, the binding and the decoded captures.
bool MatchRoute(ParsedRequest& request, const std::vector<const Route*>& routes);

}  // namespace Kesh
