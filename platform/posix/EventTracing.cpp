#include "platform/EventTracing.h"

namespace Kesh::Platform {

EventTracingApi LoadEventTracing() { return {}; }

}  // namespace Kesh::Platform
