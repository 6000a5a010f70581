#pragma once

#include <array>
#include <cstdint>

#include "log/TraceProvider.h"
#include "platform/EventTracing.h"

namespace Kesh {

// The library's four event-tracing providers. They are registered while the library
// loads, so that an external trace consumer can follow it, and the second one writes
// a start-up event naming the main thread when a consumer has asked for it.
// Tracing is best-effort: without the system's entry points nothing happens.
class TraceProviders {
public:
    static constexpr std::size_t kCount = 4;
    static constexpr std::uint16_t kStartupEventId = 103;

    explicit TraceProviders(const Platform::EventTracingApi& api);
    ~TraceProviders();
    TraceProviders(const TraceProviders&) = delete;
    TraceProviders& operator=(const TraceProviders&) = delete;

    // Registers every provider not yet registered, then writes the start-up event
    // with the calling thread's id if its event is enabled.
    void Register();
    void Unregister();
    TraceProvider& Provider(std::size_t index) { return providers_[index]; }

    // Writes one event with a 32-bit number and a text ("NULL" when missing).
    void Write(TraceProvider& provider, const Platform::TraceEventDescriptor& event, std::uint32_t number,
               const char* text);

    // The providers of this library, set up with the system's entry points.
    static TraceProviders& Library();

private:
    Platform::EventTracingApi api_;
    std::array<TraceProvider, kCount> providers_;
};

}  // namespace Kesh
