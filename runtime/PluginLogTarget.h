#pragma once

#include "log/LogTarget.h"
#include "runtime/HostApi.h"

namespace Kesh {

// Hands every record to the host's log as level and bare message text: the host
// stamps and formats it itself, so the line format is not applied.
class PluginLogTarget : public LogTarget {
public:
    explicit PluginLogTarget(HostApi* host) : host_(host) {}
    ~PluginLogTarget() override;

    const char* Name() const override;
    bool Write(const LogRecord& record) override;

private:
    HostApi* host_;
};

}  // namespace Kesh
