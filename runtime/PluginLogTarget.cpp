#include "runtime/PluginLogTarget.h"

namespace Kesh {

PluginLogTarget::~PluginLogTarget() { Detach(); }

const char* PluginLogTarget::Name() const { return "PluginLogTarget"; }

bool PluginLogTarget::Write(const LogRecord& record) {
    if (host_ != nullptr && host_->logMessage != nullptr) {
        host_->logMessage(host_, record.level, record.message != nullptr ? record.message : "");
    }
    return true;
}

}  // namespace Kesh
