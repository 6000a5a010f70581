#pragma once

#include "log/BaseConsoleLogTarget.h"

namespace Kesh {

class StdOutLogTarget : public BaseConsoleLogTarget {
public:
    const char* Name() const override;
    void Flush() override;
    void SetFlushAfterWrite(bool flush) { flushAfterWrite_ = flush; }

protected:
    void WriteLine(const char* line) override;

private:
    bool flushAfterWrite_ = false;
};

}  // namespace Kesh
