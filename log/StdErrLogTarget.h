#pragma once

#include "log/BaseConsoleLogTarget.h"

namespace Kesh {

class StdErrLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override;
    void Flush() override;

protected:
    void WriteLine(const char* line) override;
};

}  // namespace Kesh
