#include "log/LogTarget.h"

#include "log/LogManager.h"

namespace Kesh {
namespace {

LogTarget& Target(LogTargetInterface* self) { return *LogTarget::FromInterface(self); }

constexpr LogTargetInterface kFunctions = {
    [](LogTargetInterface*) -> std::uint32_t { return 1; },
    [](LogTargetInterface* self, std::int32_t level) { Target(self).SetLevel(level); },
    [](LogTargetInterface* self) { return Target(self).Level(); },
    [](LogTargetInterface* self, std::uint64_t included, std::uint64_t excluded) {
        Target(self).SetMasks(included, excluded);
    },
    [](LogTargetInterface* self) { return Target(self).IncludedMask(); },
    [](LogTargetInterface* self) { return Target(self).ExcludedMask(); },
    [](LogTargetInterface* self) { return Target(self).Name(); },
    [](LogTargetInterface* self) { return Target(self).Format(); },
    [](LogTargetInterface* self) { Target(self).Attach(); },
    [](LogTargetInterface* self) { Target(self).Detach(); },
    [](LogTargetInterface* self) { return Target(self).IsAttached(); },
    [](LogTargetInterface* self, const LogRecord* record) {
        return record != nullptr && Target(self).Write(*record);
    },
};

}  // namespace

LogTarget::LogTarget() : slot_{kFunctions, this} {}

LogTarget::~LogTarget() {
    // Not the virtual Detach: a derived part is already gone here.
    LogTarget::Detach();
}

LogTarget* LogTarget::FromInterface(LogTargetInterface* self) {
    // functions is the first member of the slot, so the table's address is the slot's.
    return reinterpret_cast<InterfaceSlot*>(self)->owner;
}

// The target's own fields change under its lock and the manager's list under the
// manager's lock, one after the other: a dispatch holds the manager's lock while it
// takes a target's lock, so the reverse order must never happen.
void LogTarget::Attach() {
    {
        Platform::LockGuard guard(lock_);
        if (attached_) {
            return;
        }
        attached_ = true;
    }
    LogManager::AddTarget(Interface());
}

void LogTarget::Detach() {
    {
        Platform::LockGuard guard(lock_);
        if (!attached_) {
            return;
        }
        attached_ = false;
    }
    LogManager::RemoveTarget(Interface());
}

bool LogTarget::IsAttached() const {
    Platform::LockGuard guard(lock_);
    return attached_;
}

const char* LogTarget::Name() const { return "LogTarget"; }

const char* LogTarget::Format() const { return format_.c_str(); }

bool LogTarget::Write(const LogRecord&) { return false; }

void LogTarget::SetLevel(std::int32_t level) {
    Platform::LockGuard guard(lock_);
    level_ = level;
}

std::int32_t LogTarget::Level() const {
    Platform::LockGuard guard(lock_);
    return level_;
}

void LogTarget::SetMasks(std::uint64_t included, std::uint64_t excluded) {
    Platform::LockGuard guard(lock_);
    includedMask_ = included & ~excluded;
    excludedMask_ = excluded;
}

std::uint64_t LogTarget::IncludedMask() const {
    Platform::LockGuard guard(lock_);
    return includedMask_;
}

std::uint64_t LogTarget::ExcludedMask() const {
    Platform::LockGuard guard(lock_);
    return excludedMask_;
}

void LogTarget::SetFormat(const char* format) {
    Platform::LockGuard guard(lock_);
    format_ = format != nullptr ? format : "";
}

void Configure(LogTarget& target, std::int32_t level, std::uint64_t included, std::uint64_t excluded,
               const char* format) {
    target.Detach();
    target.SetLevel(level);
    target.SetMasks(included, excluded);
    target.SetFormat(format);
    target.Attach();
}

}  // namespace Kesh
