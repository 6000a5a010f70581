#include "platform/LibraryEntry.h"

namespace Kesh::Platform {

// Shared objects get no per-thread notifications here.
void DisableThreadNotifications(void*) {}

}  // namespace Kesh::Platform
