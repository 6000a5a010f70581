#pragma once

#include "log/LogTarget.h"

namespace Kesh {

// A target that formats each record into a line and writes it to a console-like
// channel.
class BaseConsoleLogTarget : public LogTarget {
public:
    const char* Name() const override;
    bool Write(const LogRecord& record) override;
    virtual void Flush() = 0;

protected:
    // Writes one finished line; called under the target's lock.
    virtual void WriteLine(const char* line) = 0;
};

}  // namespace Kesh
