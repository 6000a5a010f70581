#pragma once

namespace Kesh {

// Seconds since the first call in the process, from the high-resolution counter.
double SecondsSinceFirstUse();

}  // namespace Kesh
