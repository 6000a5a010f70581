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
                        const char* format, ...) {
    std::va_list arguments;
    va_start(arguments, format);
    LogV(level, static_cast<std::uint64_t>(maskHigh) << 32 | maskLow, format, arguments);
    va_end(arguments);
}

constexpr LogApi kLogApi = {
    []() -> std::uint32_t { return 1; },
    [] { LogManager::AddReference(); },
    [] { LogManager::ReleaseReference(); },
    [](std::int32_t level) { LogManager::SetLevel(level); },
    [] { return LogManager::Level(); },
    [](std::uint64_t mask) { LogManager::SetExcludedMask(mask); },
    [] { return LogManager::ExcludedMask(); },
    [] { LogManager::Mute(); },
    [] { LogManager::Unmute(); },
    [] { LogManager::SetReservedFlag(true); },
    [] { LogManager::SetReservedFlag(false); },
    [](LogTargetInterface* target) {
        if (target != nullptr) {
            target->attach(target);
        }
    },
    [](LogTargetInterface* target) {
        if (target != nullptr) {
            target->detach(target);
        }
    },
    [](const char* name) { return LogManager::FindTarget(name); },
    [] { return LogManager::StdOutTarget(); },
    [] { return LogManager::StdErrTarget(); },
    [] { return LogManager::DebuggerTarget(); },
    [](const char* name) { return AddCategoryGroup(name); },
    [](std::uint64_t mask, char* buffer, std::size_t size) { return CategoryGroupNames(mask, buffer, size); },
    [](const LogRecord* record, const char* format, char* buffer, std::size_t size) -> std::size_t {
        if (record == nullptr) {
            return 0;
        }
        return FormatLine(*record, format, LogManager::ExecutableName(), buffer, size);
    },
    [](std::int32_t level) { return LevelText(level); },
    [] { return LogManager::ExecutableName(); },
    [](Platform::LocalTime* time) {
        if (time != nullptr) {
            *time = Platform::CurrentLocalTime();
        }
    },
    [](const Platform::LocalTime* time, char* buffer, std::size_t size) -> std::size_t {
        return time != nullptr ? FormatTimestamp(*time, buffer, size) : 0;
    },
    [](const Platform::LocalTime* time, char* buffer, std::size_t size) -> std::size_t {
        return time != nullptr ? FormatFileTimestamp(*time, buffer, size) : 0;
    },
    LogEntry,
};

}  // namespace

const LogApi& GetLogApi() { return kLogApi; }

}  // namespace Kesh
