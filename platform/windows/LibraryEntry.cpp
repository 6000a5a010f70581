#include "platform/LibraryEntry.h"

#include <windows.h>

namespace Kesh::Platform {

void DisableThreadNotifications(void* module) {
    DisableThreadLibraryCalls(static_cast<HMODULE>(module));
}

}  // namespace Kesh::Platform
