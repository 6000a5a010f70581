// The library's one export: the host calls it to create and register the plugin.
#include "plugin/UxPlugin.h"
#include "runtime/PluginExport.h"

PZL_DEFINE_PLUGIN_EXPORT(load_qor_user_experience, Kesh::Client::UserExperience::Api::UxPlugin,
                         "qor-user-experience")
