#include "log/TraceProviders.h"

#include <cstring>

#include "platform/Process.h"

namespace Kesh {
namespace {

using Platform::TraceEventDescriptor;
using Platform::TraceGuid;

// Fixed identities of the library's providers: general, runtime, binding, requests.
constexpr TraceGuid kGeneralGuid = {0x5f3a9c21, 0x7d04, 0x4e6b, {0x9a, 0x12, 0x3c, 0x58, 0x0e, 0x71, 0xb4, 0x01}};
constexpr TraceGuid kRuntimeGuid = {0x5f3a9c21, 0x7d04, 0x4e6b, {0x9a, 0x12, 0x3c, 0x58, 0x0e, 0x71, 0xb4, 0x02}};
constexpr TraceGuid kBindingGuid = {0x5f3a9c21, 0x7d04, 0x4e6b, {0x9a, 0x12, 0x3c, 0x58, 0x0e, 0x71, 0xb4, 0x03}};
constexpr TraceGuid kRequestGuid = {0x5f3a9c21, 0x7d04, 0x4e6b, {0x9a, 0x12, 0x3c, 0x58, 0x0e, 0x71, 0xb4, 0x04}};

// id, version, channel, level, opcode, task, keyword
constexpr TraceEventDescriptor kStartupEvent = {TraceProviders::kStartupEventId, 0, 0, 0, 14, 2, 1};
constexpr TraceEventDescriptor kMessageEvent = {100, 0, 0, 4, 0, 1, 1};

}  // namespace

TraceProviders::TraceProviders(const Platform::EventTracingApi& api)
    : api_(api),
      providers_{TraceProvider(kGeneralGuid, {kMessageEvent}), TraceProvider(kRuntimeGuid, {kStartupEvent}),
                 TraceProvider(kBindingGuid, {kMessageEvent}), TraceProvider(kRequestGuid, {kMessageEvent})} {}

TraceProviders::~TraceProviders() { Unregister(); }

void TraceProviders::Register() {
    if (api_.eventRegister == nullptr) {
        return;
    }
    for (TraceProvider& provider : providers_) {
        if (provider.Handle() == 0) {
            api_.eventRegister(&provider.Guid(), &TraceProvider::EnablementCallback, &provider,
                               &provider.Handle());
        }
    }
    TraceProvider& runtime = providers_[1];
    if (runtime.EventEnabled(0)) {
        Write(runtime, runtime.Event(0), static_cast<std::uint32_t>(Platform::CurrentThreadId()),
              "Main thread");
    }
}

void TraceProviders::Unregister() {
    for (TraceProvider& provider : providers_) {
        if (provider.Handle() != 0) {
            if (api_.eventUnregister != nullptr) {
                api_.eventUnregister(provider.Handle());
            }
            provider.Handle() = 0;
        }
    }
}

void TraceProviders::Write(TraceProvider& provider, const TraceEventDescriptor& event, std::uint32_t number,
                           const char* text) {
    if (api_.eventWrite == nullptr) {
        return;
    }
    if (text == nullptr) {
        text = "NULL";
    }
    Platform::TraceDataDescriptor data[2] = {
        {reinterpret_cast<std::uintptr_t>(&number), sizeof number, 0},
        {reinterpret_cast<std::uintptr_t>(text), static_cast<std::uint32_t>(std::strlen(text) + 1), 0},
    };
    api_.eventWrite(provider.Handle(), &event, 2, data);
}

TraceProviders& TraceProviders::Library() {
    static TraceProviders providers(Platform::LoadEventTracing());
    return providers;
}

}  // namespace Kesh
