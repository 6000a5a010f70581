#pragma once

namespace Kesh {

class TypeRegistry;

// Declares the runtime's own binding types and events (resource events, service-proxy
// and LCDS messages) in a plugin's registry, each tagged "kclient".
void RegisterRuntimeTypes(TypeRegistry& registry);

}  // namespace Kesh
