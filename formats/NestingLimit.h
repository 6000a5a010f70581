#pragma once

#include <cstddef>

namespace Kesh {

// The deepest nesting of arrays and maps that the body readers accept. The readers are
// iterative, so the call stack is never at risk; the bound keeps a small hostile body
// from turning into a value tree a hundred times its size (every level costs a container
// header and an element array).
inline constexpr std::size_t kMaxNestingDepth = 100000;

}  // namespace Kesh
