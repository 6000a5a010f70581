#include "log/TraceProvider.h"


namespace Kesh {

TraceProvider::TraceProvider(const Platform::TraceGuid& guid,
                             std::initializer_list<Platform::TraceEventDescriptor> events)
    : guid_(guid) {
    for (const Platform::TraceEventDescriptor& descriptor : events) {
        if (eventCount_ == kMaxEvents) {
            break;
        }
        events_[eventCount_++] = TraceEventState{descriptor, false};
    }
}

void TraceProvider::OnEnablement(std::uint32_t isEnabled, std::uint8_t level, std::uint64_t matchAnyKeyword,
                                 std::uint64_t matchAllKeyword) {
    if (isEnabled == Platform::kTraceDisable) {
        enabled_ = false;
        level_ = 0;
        matchAnyKeyword_ = 0;
        matchAllKeyword_ = 0;
        for (std::size_t i = 0; i < eventCount_; ++i) {
            events_[i].enabled = false;
        }
        return;
    }
    if (isEnabled != Platform::kTraceEnable) {
        return;
    }
    level_ = level;
    matchAnyKeyword_ = matchAnyKeyword;
    matchAllKeyword_ = matchAllKeyword;
    enabled_ = true;
    for (std::size_t i = 0; i < eventCount_; ++i) {
        TraceEventState& event = events_[i];
        const std::uint64_t keyword = event.descriptor.keyword;
        const bool levelMatches = level_ == 0 || event.descriptor.level <= level_;
        const bool keywordMatches = keyword == 0 || ((keyword & matchAnyKeyword_) != 0 &&
                                                     (keyword & matchAllKeyword_) == matchAllKeyword_);
        event.enabled = levelMatches && keywordMatches;
    }
}

void PZL_STDCALL TraceProvider::EnablementCallback(const Platform::TraceGuid*, std::uint32_t isEnabled,
                                                   std::uint8_t level, std::uint64_t matchAnyKeyword,
                                                   std::uint64_t matchAllKeyword, void*,
                                                   void* callbackContext) {
    if (callbackContext != nullptr) {
        static_cast<TraceProvider*>(callbackContext)
            ->OnEnablement(isEnabled, level, matchAnyKeyword, matchAllKeyword);
    }
}

}  // namespace Kesh
