#pragma once

#include <cstddef>
#include <cstdint>

namespace Kesh {

// Category groups: bit i of a message's 64-bit category mask names group i, and every
// group has a three-character name. The table is shared by the whole library.
inline constexpr std::uint64_t kCategoryDebug = 1ull << 0;    // "DBG"
inline constexpr std::uint64_t kCategoryGeneral = 1ull << 1;  // "GEN"
inline constexpr std::uint64_t kCategoryExtra = 1ull << 2;    // "XTR"
inline constexpr std::size_t kMaxCategoryGroups = 64;

// The mask of the group with the given name (only its first three characters count),
// adding the group when no group has that name yet. Returns 0 once all 64 bits are
// taken, or for a null name.
std::uint64_t AddCategoryGroup(const char* name);

// Writes the names of the groups in mask, separated by ";", always terminated.
// Returns the length written.
std::size_t CategoryGroupNames(std::uint64_t mask, char* buffer, std::size_t size);

}  // namespace Kesh
