#pragma once

#include <pzl/pzl.h>

namespace Kesh::Client::SampleApi::Api {

// A plugin that only exposes functions: it shows plugin authors how, and it is what the
// dispatch of host calls is tested through.
class SampleApiPlugin : public PluginBase {
public:
    void RegisterTypes() override;
};

}  // namespace Kesh::Client::SampleApi::Api
