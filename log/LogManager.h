#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <vector>

#include "log/DebuggerConsoleLogTarget.h"
#include "log/Log.h"
#include "log/LogTargetInterface.h"
#include "log/StdErrLogTarget.h"
#include "log/StdOutLogTarget.h"
#include "platform/Lock.h"

namespace Kesh {

// The file-name part of an executable's path: what follows the last separator, or the
// whole path when it has none.
std::string ExecutableFileName(const std::string& path);

// The library's one logger. It is created on first demand (a reference or a log
// call), filters messages by level and category, and hands each accepted message to
// every attached target whose own filters accept it. It is torn down when the last
// reference is released; a later log call creates a fresh one.
//
// Everything is reached through static functions so that no caller ever holds a
// pointer to a manager that another thread may be tearing down.
class LogManager {
public:
    static void AddReference();
    static void ReleaseReference();
    // Whether a manager exists right now (for tests and teardown checks).
    static bool Exists();

    static void SetLevel(std::int32_t level);
    static std::int32_t Level();
    static void SetExcludedMask(std::uint64_t mask);
    static std::uint64_t ExcludedMask();
    static void Mute();
    static void Unmute();
    static void SetReservedFlag(bool on);

    // The manager's lock. Whenever a target's own lock is needed too, this one is
    // taken first (a dispatch holds it while targets write). It is recursive.
    static Platform::Lock& ManagerLock();

    // Appends a target to the dispatch list (once) and removes it again. These
    // change only the list: a LogTarget's Attach and Detach call them. AddTarget
    // is false when no manager could be made.
    static bool AddTarget(LogTargetInterface* target);
    static void RemoveTarget(LogTargetInterface* target);
    // The first attached target with that name, or null.
    static LogTargetInterface* FindTarget(const char* name);

    static LogTargetInterface* StdOutTarget();
    static LogTargetInterface* StdErrTarget();
    static LogTargetInterface* DebuggerTarget();

    // The executable's file name, "<unknown>" when it cannot be found. Valid while
    // the manager lives.
    static const char* ExecutableName();

    static void Write(std::int32_t level, std::uint64_t mask, const char* format, std::va_list arguments)
        PZL_PRINTF_FORMAT(3, 0);

private:
    LogManager();
    ~LogManager();
    LogManager(const LogManager&) = delete;
    LogManager& operator=(const LogManager&) = delete;

    static LogManager* Instance();
    static void PublishFilter(const LogManager* manager) noexcept;
    void AttachBuiltInTargets();
    void DetachAllTargets();
    bool Accepts(std::int32_t level, std::uint64_t mask) const;
    void Dispatch(const LogRecord& record);

    std::vector<LogTargetInterface*> targets_;
    bool muted_ = false;
    bool reservedFlag_ = false;
    std::int32_t level_ = 1;
    std::uint64_t excludedMask_ = 4;
    std::string executableName_ = "<unknown>";
    StdErrLogTarget stdErr_;
    StdOutLogTarget stdOut_;
    DebuggerConsoleLogTarget debugger_;
};

}  // namespace Kesh
