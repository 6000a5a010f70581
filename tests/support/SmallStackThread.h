#pragma once

#include <cstddef>
#include <functional>

namespace Kesh::Testing {

// Runs work on a fresh thread whose stack is as small as a host's main thread can be
// (1 MiB), and waits for it. Deep-input tests use it to prove nothing recurses without bound.
void RunOnSmallStack(const std::function<void()>& work, std::size_t stackBytes = 1024 * 1024);

}  // namespace Kesh::Testing
