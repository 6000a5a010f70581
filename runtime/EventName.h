#pragma once

#include <string>
#include <string_view>

namespace Kesh {

// The host event that covers a resource path: "OnJsonApiEvent" followed by the
// path's first segments, joined with "_". Paths that share those segments share one
// event; handlers are told apart later by the event's uri.
std::string EventName(std::string_view path);

// Whether a resource path matches a handler pattern in which "*" stands for one
// path segment or part of one (never a "/").
bool MatchesPathPattern(std::string_view pattern, std::string_view path);

}  // namespace Kesh
