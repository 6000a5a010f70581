#pragma once

#include <cstddef>
#include <functional>

namespace Kesh::Testing {

// Runs work on a fresh thread whose stack is as small as a host's main thread can be
// (1 MiB), and waits for it. Deep-input tests use it to prove nothing recurses without bound.
// Under the address sanitizer the stack is kAddressSanitizerStackFactor times larger:
// its red zones around every local make the frames of the bounded recursions (native
// conversions down to their depth limit) overflow 1 MiB there; unbounded recursion
// still overflows the larger stack.
void RunOnSmallStack(const std::function<void()>& work, std::size_t stackBytes = 1024 * 1024);

inline constexpr std::size_t kAddressSanitizerStackFactor = 4;

}  // namespace Kesh::Testing
