#include "log/LogTarget.h"

#include "log/LogManager.h"

namespace Kesh {
namespace {

// A null table from the caller is bad input: the entry does nothing and answers with
// the type's empty value.
template <typename Result, typename Action>
Result OnTarget(LogTargetInterface* self, Result none, Action action) {
    LogTarget* target = LogTarget::FromInterface(self);
    return target != nullptr ? action(*target) : none;
}

template <typename Action>
void OnTarget(LogTargetInterface* self, Action action) {
    if (LogTarget* target = LogTarget::FromInterface(self)) {
        action(*target);
    }
}

constexpr LogTargetInterface kFunctions = {
    .version = [](LogTargetInterface*) -> std::uint32_t { return 1; },
    .setLevel =
        [](LogTargetInterface* self, std::int32_t level) {
            OnTarget(self, [&](LogTarget& target) { target.SetLevel(level); });
        },
    .getLevel =
        [](LogTargetInterface* self) {
            return OnTarget(self, std::int32_t{0}, [](LogTarget& target) { return target.Level(); });
        },
    .setMasks =
        [](LogTargetInterface* self, std::uint64_t included, std::uint64_t excluded) {
            OnTarget(self, [&](LogTarget& target) { target.SetMasks(included, excluded); });
        },
    .getIncludedMask =
        [](LogTargetInterface* self) {
            return OnTarget(self, std::uint64_t{0}, [](LogTarget& target) { return target.IncludedMask(); });
        },
    .getExcludedMask =
        [](LogTargetInterface* self) {
            return OnTarget(self, std::uint64_t{0}, [](LogTarget& target) { return target.ExcludedMask(); });
        },
    .name =
        [](LogTargetInterface* self) {
            return OnTarget(self, static_cast<const char*>(nullptr), [](LogTarget& target) { return target.Name(); });
        },
    .format =
        [](LogTargetInterface* self) {
            return OnTarget(self, static_cast<const char*>(nullptr),
                            [](LogTarget& target) { return target.Format(); });
        },
    .attach = [](LogTargetInterface* self) { OnTarget(self, [](LogTarget& target) { target.Attach(); }); },
    .detach = [](LogTargetInterface* self) { OnTarget(self, [](LogTarget& target) { target.Detach(); }); },
    .isAttached =
        [](LogTargetInterface* self) {
            return OnTarget(self, false, [](LogTarget& target) { return target.IsAttached(); });
        },
    .write =
        [](LogTargetInterface* self, const LogRecord* record) {
            return record != nullptr && OnTarget(self, false, [&](LogTarget& target) { return target.Write(*record); });
        },
};

}  // namespace

LogTarget::LogTarget() : slot_{kFunctions, this} {}

LogTarget::~LogTarget() {
    // Not the virtual Detach: a derived part is already gone here.
    LogTarget::Detach();
}

LogTarget* LogTarget::FromInterface(LogTargetInterface* self) {
    if (self == nullptr) {
        return nullptr;
    }
    // functions is the first member of the slot, so the table's address is the slot's.
    return reinterpret_cast<InterfaceSlot*>(self)->owner;
}

// The flag and the manager's list change together under the manager's lock, so no
// other thread can slip between them and leave the two disagreeing. The manager's
// lock is the outer one, as in a dispatch; the flag itself is guarded by the target's.
void LogTarget::Attach() {
    Platform::LockGuard managerGuard(LogManager::ManagerLock());
    if (IsAttached() || !LogManager::AddTarget(Interface())) {
        return;
    }
    Platform::LockGuard guard(lock_);
    attached_ = true;
}

void LogTarget::Detach() {
    Platform::LockGuard managerGuard(LogManager::ManagerLock());
    if (!IsAttached()) {
        return;
    }
    {
        Platform::LockGuard guard(lock_);
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
