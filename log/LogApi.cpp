#include "log/LogApi.h"

#include <cstdarg>

#include "log/CategoryGroups.h"
#include "log/LineFormat.h"
#include "log/Log.h"
#include "log/LogLevel.h"
#include "log/LogManager.h"
#include "log/TimeFormat.h"

namespace Kesh {
namespace {

void PZL_CDECL LogEntry(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh,
                        const char* format, ...) PZL_PRINTF_FORMAT(4, 5);

void PZL_CDECL LogEntry(std::int32_t level, std::uint32_t maskLow, std::uint32_t maskHigh,
                        const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    LogV(level, static_cast<std::uint64_t>(maskHigh) << 32 | maskLow, format, arguments);
    va_end(arguments);
}

// Null pointers from the caller are bad input: every entry answers them with nothing.
constexpr LogApi kLogApi = {
    .version = []() -> std::uint32_t { return 1; },
    .addReference = [] { LogManager::AddReference(); },
    .releaseReference = [] { LogManager::ReleaseReference(); },
    .setLevel = [](std::int32_t level) { LogManager::SetLevel(level); },
    .getLevel = [] { return LogManager::Level(); },
    .setExcludedMask = [](std::uint64_t mask) { LogManager::SetExcludedMask(mask); },
    .getExcludedMask = [] { return LogManager::ExcludedMask(); },
    .mute = [] { LogManager::Mute(); },
    .unmute = [] { LogManager::Unmute(); },
    .setReservedFlag = [] { LogManager::SetReservedFlag(true); },
    .clearReservedFlag = [] { LogManager::SetReservedFlag(false); },
    .attachTarget =
        [](LogTargetInterface* target) {
            if (target != nullptr && target->attach != nullptr) {
                target->attach(target);
            }
        },
    .detachTarget =
        [](LogTargetInterface* target) {
            if (target != nullptr && target->detach != nullptr) {
                target->detach(target);
            }
        },
    .findTarget = [](const char* name) { return LogManager::FindTarget(name); },
    .stdOutTarget = [] { return LogManager::StdOutTarget(); },
    .stdErrTarget = [] { return LogManager::StdErrTarget(); },
    .debuggerTarget = [] { return LogManager::DebuggerTarget(); },
    .addCategoryGroup = [](const char* name) { return AddCategoryGroup(name); },
    .categoryGroupNames = [](std::uint64_t mask, char* buffer, std::size_t size) {
        return CategoryGroupNames(mask, buffer, size);
    },
    .formatLine = [](const LogRecord* record, const char* format, char* buffer, std::size_t size) -> std::size_t {
        if (record == nullptr) {
            return 0;
        }
        // The executable name stays valid only while the manager's lock is held.
        Platform::LockGuard guard(LogManager::ManagerLock());
        return FormatLine(*record, format, LogManager::ExecutableName(), buffer, size);
    },
    .levelText = [](std::int32_t level) { return LevelText(level); },
    .executableName = [] { return LogManager::ExecutableName(); },
    .currentTime =
        [](Platform::LocalTime* time) {
            if (time != nullptr) {
                *time = Platform::CurrentLocalTime();
            }
        },
    .formatTimestamp = [](const Platform::LocalTime* time, char* buffer, std::size_t size) -> std::size_t {
        return time != nullptr ? FormatTimestamp(*time, buffer, size) : 0;
    },
    .formatFileTimestamp = [](const Platform::LocalTime* time, char* buffer, std::size_t size) -> std::size_t {
        return time != nullptr ? FormatFileTimestamp(*time, buffer, size) : 0;
    },
    .log = LogEntry,
};

}  // namespace

const LogApi& GetLogApi() { return kLogApi; }

}  // namespace Kesh
