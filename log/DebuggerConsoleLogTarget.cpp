#include "log/DebuggerConsoleLogTarget.h"

#include "platform/Process.h"

namespace Kesh {

const char* DebuggerConsoleLogTarget::Name() const { return "DebuggerConsoleLogTarget"; }

void DebuggerConsoleLogTarget::Flush() {}

void DebuggerConsoleLogTarget::WriteLine(const char* line) { Platform::WriteDebuggerOutput(line); }

}  // namespace Kesh
