#pragma once

#include <string>
#include <vector>

namespace Kesh {
class TypeRegistry;
}

namespace Kesh::Client::UserExperience::Api {

// Declares GameflowPhase and then GameflowSession under prefix + their names, each with
// the given tags. A second call adds nothing to the types declared by the first.
void RegisterGameflowTypes(TypeRegistry& registry, const std::string& prefix, const std::vector<std::string>& tags);

}  // namespace Kesh::Client::UserExperience::Api
