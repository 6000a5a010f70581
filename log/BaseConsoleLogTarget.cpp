#include "log/BaseConsoleLogTarget.h"

#include "log/LineFormat.h"
#include "log/LogManager.h"

namespace Kesh {

const char* BaseConsoleLogTarget::Name() const { return "BaseConsoleLogTarget"; }

bool BaseConsoleLogTarget::Write(const LogRecord& record) {
    char line[4096];
    Platform::LockGuard guard(TargetLock());
    FormatLine(record, Format(), LogManager::ExecutableName(), line, sizeof line);
    WriteLine(line);
    return true;
}

}  // namespace Kesh
