#pragma once

#include <memory>

#include "runtime/HostApi.h"
#include "runtime/PluginLogTarget.h"

namespace Kesh {

// Routes the library's log to the host: detaches the console targets, lets every
// level except group "XTR" through, and attaches a PluginLogTarget bound to host,
// kept in target (replacing any earlier one). Does nothing when a plugin object of
// this library has already installed one; returns whether it installed.
bool InstallPluginLogTarget(HostApi* host, std::unique_ptr<PluginLogTarget>& target);

}  // namespace Kesh
