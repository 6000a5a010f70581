#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <initializer_list>

#include "platform/EventTracing.h"

namespace Kesh {

// What one event of a provider needs to decide whether a consumer wants it.
struct TraceEventState {
    Platform::TraceEventDescriptor descriptor;
    bool enabled = false;
};

// One event-tracing provider: its identity, its registration handle and what the
// trace consumers currently ask of it.
class TraceProvider {
public:
    // At most kMaxEvents events; the library's providers are static and must not
    // hold heap memory, which would outlive every plugin object.
    static constexpr std::size_t kMaxEvents = 4;

    TraceProvider(const Platform::TraceGuid& guid, std::initializer_list<Platform::TraceEventDescriptor> events);

    const Platform::TraceGuid& Guid() const { return guid_; }
    Platform::TraceHandle& Handle() { return handle_; }
    bool Enabled() const { return enabled_; }
    std::uint8_t Level() const { return level_; }
    bool EventEnabled(std::size_t index) const { return index < kMaxEvents && index < eventCount_ && events_[index].enabled; }
    const Platform::TraceEventDescriptor& Event(std::size_t index) const { return events_[index].descriptor; }

    // The system's enablement notification: disable clears everything, enable stores
    // the consumer's level and keywords and recomputes every event's enabled bit,
    // anything else changes nothing.
    void OnEnablement(std::uint32_t isEnabled, std::uint8_t level, std::uint64_t matchAnyKeyword,
                      std::uint64_t matchAllKeyword);

    // The callback handed to the system; its context is the provider.
    static void PZL_STDCALL EnablementCallback(const Platform::TraceGuid* source, std::uint32_t isEnabled,
                                               std::uint8_t level, std::uint64_t matchAnyKeyword,
                                               std::uint64_t matchAllKeyword, void* filterData,
                                               void* callbackContext);

private:
    Platform::TraceGuid guid_;
    Platform::TraceHandle handle_ = 0;
    bool enabled_ = false;
    std::uint8_t level_ = 0;
    std::uint64_t matchAnyKeyword_ = 0;
    std::uint64_t matchAllKeyword_ = 0;
    std::array<TraceEventState, kMaxEvents> events_{};
    std::size_t eventCount_ = 0;
};

}  // namespace Kesh
