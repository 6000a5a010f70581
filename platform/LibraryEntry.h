#pragma once

namespace Kesh::Platform {

// Called from a library's entry point when it is loaded: the library wants no
// notification for every thread the process starts or ends.
void DisableThreadNotifications(void* module);

}  // namespace Kesh::Platform
