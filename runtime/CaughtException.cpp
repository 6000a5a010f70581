#include "runtime/CaughtException.h"

#include <exception>

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "log/LogLevel.h"

namespace Kesh {

void LogCaughtException(const char* shortName, const char* step) noexcept {
    const char* text = "unknown exception";
    try {
        throw;
    } catch (const std::exception& caught) {
        text = caught.what();
    } catch (...) {
    }
    try {
        Log(kLevelError, kCategoryDebug, "%s: %s stopped by an exception: %s", shortName != nullptr ? shortName : "",
            step, text);
    } catch (...) {
        // Nothing more can be said.
    }
}

}  // namespace Kesh
