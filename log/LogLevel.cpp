#include "log/LogLevel.h"

namespace Kesh {

const char* LevelText(std::int32_t level) {
    static constexpr const char* kTexts[] = {"  OKAY", "  WARN", " ERROR", "ALWAYS"};
    if (level < kLevelOkay || level > kLevelAlways) {
        return "";
    }
    return kTexts[level];
}

}  // namespace Kesh
