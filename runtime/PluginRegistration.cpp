#include <cstdlib>

#include "log/AssertionReport.h"
#include "log/FormatPositional.h"
#include "runtime/IdentifierName.h"
#include "runtime/PluginBase.h"
#include "runtime/RuntimeTypeRegistration.h"

namespace Kesh {

void PluginBase::Register(PluginBase* plugin, HostRegistration* record, const char* shortName) {
    if (plugin == nullptr || record == nullptr || shortName == nullptr) {
        return;
    }
    const ApiVersion core{record->major, record->minor, record->patch, "", ""};
    if (!core.CanLoad(kPluginApiVersion)) {
        const std::string message =
            FormatPositionalString("%1 which supports plugin API %2 is not compatible with core's plugin API %3",
                                   {shortName, kPluginApiVersion.Text(), core.Text()});
        ReportAssertion("ALE-EECF0606", message.c_str(), __FILE__, __LINE__, __func__);
        std::abort();
    }
    plugin->coreVersion_ = core;
    plugin->name_ = PluginName::FromShortName(shortName, PluginType::Backend());
    plugin->shortName_ = plugin->name_.shortName;
    plugin->typeTags_ = {"Plugins", "Plugin " + plugin->name_.shortName};
    plugin->typeNamePrefix_ = IdentifierName(plugin->name_.shortName);

    RegisterRuntimeTypes(*plugin->typeRegistry_);
    plugin->registry_ = plugin->typeRegistry_.get();
    plugin->RegisterTypes();
    plugin->apiTable_ = BuildApiTable(*plugin->typeRegistry_, plugin->apiTableStorage_);

    record->major = kPluginApiVersion.major;
    record->minor = kPluginApiVersion.minor;
    record->patch = kPluginApiVersion.patch;
    record->callbacks = &plugin->callbacks_;
    record->plugin = plugin;
    record->shortName = plugin->name_.shortName.c_str();
    record->apiTable = plugin->apiTable_;
}

}  // namespace Kesh
