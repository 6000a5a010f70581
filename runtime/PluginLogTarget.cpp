#include "runtime/PluginLogTarget.h"

namespace Kesh {

PluginLogTarget::~PluginLogTarget() { Detach(); }

const char* PluginLogTarget::Name() const { return "PluginLogTarget"; }

bool PluginLogTarget::Write(const LogRecord& record) {
    if (host_ != nullptr && host_->log != nullptr) {
        host_->log(host_, record.level, record.message != nullptr ? record.message : "");
    }
    return true;
}

}  // namespace Kesh
