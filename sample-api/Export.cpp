// The library's one export: the host calls it to create and register the plugin.
#include "SampleApiPlugin.h"

PZL_DEFINE_PLUGIN_EXPORT(load_sample_api, Kesh::Client::SampleApi::Api::SampleApiPlugin, "sample-api")
