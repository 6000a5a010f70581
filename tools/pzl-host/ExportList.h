#pragma once

#include <string>
#include <vector>

namespace Kesh::StandIn {

// The names a library file makes visible to its host: the defined global and weak
// symbols of an ELF file's dynamic symbol table, or the names of a PE file's export
// directory. False with a message when the file is neither or cannot be read.
bool ListExports(const std::string& path, std::vector<std::string>& names, std::string& error);

}  // namespace Kesh::StandIn
