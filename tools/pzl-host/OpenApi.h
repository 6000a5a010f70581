#pragma once

#include <string>

#include "runtime/HostRegistration.h"

namespace Kesh::StandIn {

// The OpenAPI 3.1 document of the functions a plugin exposes, as indented JSON: one
// operation per function and method, parameters with their locations and schemas,
// structs and enums as named component schemas, and the error reply's shape
// ({"message": text, "status": number}) for every 4xx and 5xx answer. Records that
// cannot be read are left out. Its title is the plugin's full name (the short name when
// none is given).
std::string OpenApiDocument(const HostRegistration& record, const std::string& fullName = {});

// The path of a function's URL template as OpenAPI writes it ("{+rest}" becomes
// "{rest}", a template without a leading slash gets one); the function's name when
// the template is empty.
std::string OpenApiPath(const std::string& urlTemplate, const std::string& name);

}  // namespace Kesh::StandIn
