#include "log/LogManager.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include "log/Log.h"
#include "log/PrintfFormat.h"
#include "platform/Clock.h"
#include "platform/Lock.h"
#include "platform/Process.h"

namespace Kesh {
namespace {

// The manager's lock outlives every manager: a log call that races with the
// teardown, or comes after static destruction, must still find a valid lock.
// It is therefore built in static storage on first use and never destroyed.
Platform::Lock& TheLock() {
    alignas(Platform::Lock) static unsigned char storage[sizeof(Platform::Lock)];
    static Platform::Lock* lock = new (storage) Platform::Lock();
    return *lock;
}

// Guarded by TheLock().
LogManager* current = nullptr;
// References taken and not yet released. Kept apart from the manager so that a reference
// taken while no manager could be made still counts for the one made later.
int references = 0;

// A copy of the current manager's level and excluded mask that log calls read with
// relaxed loads before taking any lock, so a message the manager refuses costs two
// loads and no lock. It only ever refuses early: everything it lets through is decided
// again under the lock, as before. Written under the lock whenever the manager, its
// level, its mask or its mute change; a call racing with such a change sees the old
// or the new filter, as it would by taking the lock just before or after it.
constexpr std::int32_t kLetAllThrough = INT32_MIN;  // no manager yet: the locked path makes one
struct alignas(64) FilterGate {
    std::atomic<std::int32_t> level{kLetAllThrough};
    std::atomic<std::uint64_t> excludedMask{0};
};
constinit FilterGate gate;

bool RefusedEarly(std::int32_t level, std::uint64_t mask) noexcept {
    return level < gate.level.load(std::memory_order_relaxed) ||
           (mask & gate.excludedMask.load(std::memory_order_relaxed)) != 0;
}

}  // namespace

std::string ExecutableFileName(const std::string& path) {
    const std::size_t separator = path.find_last_of(Platform::kPathSeparator);
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

Platform::Lock& LogManager::ManagerLock() { return TheLock(); }

LogManager::LogManager() {
    const std::string path = Platform::ExecutablePath();
    if (!path.empty()) {
        executableName_ = ExecutableFileName(path);
    }
    constexpr const char* kConsoleFormat = "#E(#T): #L| #M";
    stdErr_.SetMasks(1, 2);
    stdErr_.SetFormat(kConsoleFormat);
    stdOut_.SetMasks(2, 1);
    stdOut_.SetFormat("#M");
    debugger_.SetMasks(1, 0);
    debugger_.SetFormat(kConsoleFormat);
}

LogManager::~LogManager() = default;

// Called under the lock after any change of the manager or of its filter.
void LogManager::PublishFilter(const LogManager* manager) noexcept {
    if (manager == nullptr) {
        gate.level.store(kLetAllThrough, std::memory_order_relaxed);
        gate.excludedMask.store(0, std::memory_order_relaxed);
        return;
    }
    gate.level.store(manager->muted_ ? INT32_MAX : manager->level_, std::memory_order_relaxed);
    gate.excludedMask.store(manager->excludedMask_, std::memory_order_relaxed);
}

// Called under the lock. Null only when memory is exhausted.
LogManager* LogManager::Instance() {
    if (current == nullptr) {
        current = new (std::nothrow) LogManager();
        if (current != nullptr) {
            current->AttachBuiltInTargets();
            PublishFilter(current);
        }
    }
    return current;
}

void LogManager::AttachBuiltInTargets() {
    stdErr_.Attach();
    debugger_.Attach();
}

void LogManager::DetachAllTargets() {
    // Newest first. A well-behaved target removes itself from the list when
    // detached; one that does not is dropped anyway.
    while (!targets_.empty()) {
        LogTargetInterface* target = targets_.back();
        target->detach(target);
        if (!targets_.empty() && targets_.back() == target) {
            targets_.pop_back();
        }
    }
    stdErr_.Detach();
    stdOut_.Detach();
    debugger_.Detach();
}

bool LogManager::Exists() {
    Platform::LockGuard guard(ManagerLock());
    return current != nullptr;
}

void LogManager::AddReference() {
    Platform::LockGuard guard(ManagerLock());
    ++references;
    try {
        Instance();
    } catch (...) {
        // Memory is short: the next log call makes the manager, and this reference
        // counts for it.
    }
}

void LogManager::ReleaseReference() {
    Platform::LockGuard guard(ManagerLock());
    if (references == 0 || --references > 0) {
        return;
    }
    LogManager* manager = current;
    if (manager == nullptr) {
        return;
    }
    manager->DetachAllTargets();
    PublishFilter(nullptr);
    delete manager;
    current = nullptr;
}

void LogManager::SetLevel(std::int32_t level) {
    Platform::LockGuard guard(ManagerLock());
    if (LogManager* manager = Instance()) {
        manager->level_ = level;
        PublishFilter(manager);
    }
}

std::int32_t LogManager::Level() {
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    return manager != nullptr ? manager->level_ : 1;
}

void LogManager::SetExcludedMask(std::uint64_t mask) {
    Platform::LockGuard guard(ManagerLock());
    if (LogManager* manager = Instance()) {
        manager->excludedMask_ = mask;
        PublishFilter(manager);
    }
}

std::uint64_t LogManager::ExcludedMask() {
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    return manager != nullptr ? manager->excludedMask_ : 4;
}

void LogManager::Mute() {
    Platform::LockGuard guard(ManagerLock());
    if (LogManager* manager = Instance()) {
        manager->muted_ = true;
        PublishFilter(manager);
    }
}

void LogManager::Unmute() {
    Platform::LockGuard guard(ManagerLock());
    if (LogManager* manager = Instance()) {
        manager->muted_ = false;
        PublishFilter(manager);
    }
}

void LogManager::SetReservedFlag(bool on) {
    Platform::LockGuard guard(ManagerLock());
    if (LogManager* manager = Instance()) {
        manager->reservedFlag_ = on;
    }
}

bool LogManager::AddTarget(LogTargetInterface* target) {
    if (target == nullptr) {
        return false;
    }
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    if (manager == nullptr) {
        return false;
    }
    auto& targets = manager->targets_;
    if (std::find(targets.begin(), targets.end(), target) == targets.end()) {
        targets.push_back(target);
    }
    return true;
}

void LogManager::RemoveTarget(LogTargetInterface* target) {
    Platform::LockGuard guard(ManagerLock());
    // Removing never creates a manager: a target destroyed after the teardown has
    // nothing to leave.
    if (current == nullptr) {
        return;
    }
    auto& targets = current->targets_;
    targets.erase(std::remove(targets.begin(), targets.end(), target), targets.end());
}

LogTargetInterface* LogManager::FindTarget(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    if (manager == nullptr) {
        return nullptr;
    }
    for (LogTargetInterface* target : manager->targets_) {
        const char* targetName = target->name(target);
        if (targetName != nullptr && std::strcmp(targetName, name) == 0) {
            return target;
        }
    }
    return nullptr;
}

LogTargetInterface* LogManager::StdOutTarget() {
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    return manager != nullptr ? manager->stdOut_.Interface() : nullptr;
}

LogTargetInterface* LogManager::StdErrTarget() {
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    return manager != nullptr ? manager->stdErr_.Interface() : nullptr;
}

LogTargetInterface* LogManager::DebuggerTarget() {
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    return manager != nullptr ? manager->debugger_.Interface() : nullptr;
}

const char* LogManager::ExecutableName() {
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    return manager != nullptr ? manager->executableName_.c_str() : "<unknown>";
}

bool LogManager::Accepts(std::int32_t level, std::uint64_t mask) const {
    return !muted_ && level >= level_ && (mask & excludedMask_) == 0;
}

void LogManager::Dispatch(const LogRecord& record) {
    // A target may detach itself while writing; walk a position, not an iterator.
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        LogTargetInterface* target = targets_[i];
        if (record.level < target->getLevel(target)) {
            continue;
        }
        if (record.categoryMask != 0) {
            const std::uint64_t included = target->getIncludedMask(target);
            if ((record.categoryMask & target->getExcludedMask(target)) != 0 ||
                (included != 0 && (record.categoryMask & included) == 0)) {
                continue;
            }
        }
        target->write(target, &record);
    }
}

void LogManager::Write(std::int32_t level, std::uint64_t mask, const char* format, std::va_list arguments) {
    if (RefusedEarly(level, mask)) {
        return;
    }
    // The whole call holds the lock: lines of different threads never interleave,
    // and the manager cannot be torn down under a dispatch.
    Platform::LockGuard guard(ManagerLock());
    LogManager* manager = Instance();
    if (manager == nullptr || !manager->Accepts(level, mask)) {
        return;
    }
    char message[4096];
    FormatPrintf(message, sizeof message, format, arguments);
    const LogRecord record{Platform::CurrentLocalTime(), level, mask, message};
    manager->Dispatch(record);
}

void LogV(std::int32_t level, std::uint64_t mask, const char* format, std::va_list arguments) {
    LogManager::Write(level, mask, format, arguments);
}

void Log(std::int32_t level, std::uint64_t mask, const char* format, ...) {
    if (RefusedEarly(level, mask)) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    LogV(level, mask, format, arguments);
    va_end(arguments);
}

}  // namespace Kesh
