#pragma once

#include <cstdint>

namespace Kesh {

// Message levels; a target or the manager drops what lies below its threshold.
inline constexpr std::int32_t kLevelOkay = 0;
inline constexpr std::int32_t kLevelWarning = 1;
inline constexpr std::int32_t kLevelError = 2;
inline constexpr std::int32_t kLevelAlways = 3;

// The six-character level text a line shows ("  OKAY", "  WARN", " ERROR", "ALWAYS");
// the empty text for any other level.
const char* LevelText(std::int32_t level);

}  // namespace Kesh
