#pragma once

#include "log/BaseConsoleLogTarget.h"

namespace Kesh {

// Writes to an attached debugger's output channel (nothing where there is none).
class DebuggerConsoleLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override;
    void Flush() override;

protected:
    void WriteLine(const char* line) override;
};

}  // namespace Kesh
