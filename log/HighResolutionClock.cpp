#include "log/HighResolutionClock.h"

#include <cstdint>

#include "platform/Clock.h"

namespace Kesh {
namespace {

struct ClockOrigin {
    std::int64_t origin;
    double secondsPerTick;
};

const ClockOrigin& Origin() {
    static const ClockOrigin origin = [] {
        const std::int64_t frequency = Platform::PerformanceCounterFrequency();
        return ClockOrigin{Platform::ReadPerformanceCounter(),
                           frequency > 0 ? 1.0 / static_cast<double>(frequency) : 0.0};
    }();
    return origin;
}

}  // namespace

double SecondsSinceFirstUse() {
    const ClockOrigin& clock = Origin();
    return static_cast<double>(Platform::ReadPerformanceCounter() - clock.origin) * clock.secondsPerTick;
}

}  // namespace Kesh
