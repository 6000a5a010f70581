#include "log/BaseConsoleLogTarget.h"

#include "log/LineFormat.h"
#include "log/LogManager.h"

namespace Kesh {

const char* BaseConsoleLogTarget::Name() const { return "BaseConsoleLogTarget"; }

bool BaseConsoleLogTarget::Write(const LogRecord& record) {
    char line[4096];
    // The executable name lives in the manager: its lock comes first, as in a dispatch
    // (where this thread holds it already), and keeps the name alive while it is used.
    Platform::LockGuard managerGuard(LogManager::ManagerLock());
    const char* executableName = LogManager::ExecutableName();
    Platform::LockGuard guard(TargetLock());
    FormatLine(record, Format(), executableName, line, sizeof line);
    WriteLine(line);
    return true;
}

}  // namespace Kesh
