#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace Kesh::StandIn {

// Whether size bytes at address can be read, found out without touching them (so a
// dangling pointer from a plugin is reported instead of crashing the checker).
bool Readable(const void* address, std::size_t size);

// The NUL-terminated text at address, read through the probe; nothing when the address
// is null or unreadable, or no NUL comes within limit bytes.
std::optional<std::string> ReadText(const char* address, std::size_t limit = 4096);

}  // namespace Kesh::StandIn
