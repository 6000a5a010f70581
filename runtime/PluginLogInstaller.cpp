#include "runtime/PluginLogInstaller.h"

#include "log/CategoryGroups.h"
#include "log/LogApi.h"
#include "log/LogLevel.h"

namespace Kesh {

bool InstallPluginLogTarget(HostApi* host, std::unique_ptr<PluginLogTarget>& target) {
    const LogApi& log = GetLogApi();
    if (log.findTarget("PluginLogTarget") != nullptr) {
        return false;
    }
    for (LogTargetInterface* console : {log.stdOutTarget(), log.stdErrTarget(), log.debuggerTarget()}) {
        log.detachTarget(console);
    }
    log.setLevel(kLevelOkay);
    log.setExcludedMask(kCategoryExtra);
    target = std::make_unique<PluginLogTarget>(host);
    Configure(*target, log.getLevel(), 0, 0, "#D| #L| #G| #M");
    return true;
}

}  // namespace Kesh
