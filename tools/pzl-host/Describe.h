#pragma once

#include <cstdio>
#include <string>

namespace Kesh::StandIn {

// Prints what the plugin hands the host at registration: names, version, types,
// enums, events and functions; as text or one JSON document. Returns the exit status.
int DescribePlugin(const std::string& plugin, bool json, std::FILE* out);


}  // namespace Kesh::StandIn
