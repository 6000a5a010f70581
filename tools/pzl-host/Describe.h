#pragma once

#include <cstdio>
#include <string>

namespace Kesh::StandIn {

enum class DescribeFormat { Text, Json, OpenApi };

// Prints what the plugin hands the host at registration: names, version, types,
// enums, events and functions; as text, one JSON document, or the OpenAPI document of
// its functions. Returns the exit status.
int DescribePlugin(const std::string& plugin, DescribeFormat format, std::FILE* out);


}  // namespace Kesh::StandIn
