#include "runtime/PluginBase.h"

#include "log/CategoryGroups.h"
#include "log/Log.h"
#include "log/LogManager.h"
#include "runtime/CaughtException.h"
#include "runtime/PluginLogInstaller.h"
#include "runtime/TelemetrySender.h"

namespace Kesh {

PluginBase::LogManagerReference::LogManagerReference() { LogManager::AddReference(); }

PluginBase::LogManagerReference::~LogManagerReference() { LogManager::ReleaseReference(); }

PluginBase::PluginBase()
    : typeRegistry_(std::make_unique<TypeRegistry>()),
      callbacks_{&PluginBase::Init, &PluginBase::Unload, &PluginBase::ReportMemoryStats} {
    typeRegistry_->RegisterBuiltins();
    owner_ = this;
}

PluginBase::~PluginBase() {
    // The log target detaches from the manager before the reference that keeps the
    // manager alive (the first member) is released.
    telemetry_.reset();
    logTarget_.reset();
}

HostApi* PluginBase::Host() const { return hostContext_ != nullptr ? hostContext_->api : nullptr; }

// Before init there is no host to call: the forwarders then do nothing.
void PluginBase::Request(HostReply* reply, HostRequest* request) {
    if (HostApi* host = Host(); host != nullptr && host->request != nullptr) {
        host->request(host, reply, request);
    }
}

void PluginBase::CallHostEntry1(std::uint32_t first, std::uint32_t second) {
    if (HostApi* host = Host(); host != nullptr && host->reserved1 != nullptr) {
        host->reserved1(host, first, second);
    }
}

void PluginBase::CallHostEntry2(std::uint32_t word) {
    if (HostApi* host = Host(); host != nullptr && host->reserved2 != nullptr) {
        host->reserved2(host, word);
    }
}

void PluginBase::SubscribeEvent(const char* eventName, std::uint32_t clientId, HostEventCallback callback,
                                void* context, std::uint32_t flags) {
    if (HostApi* host = Host(); host != nullptr && host->subscribeEvent != nullptr) {
        host->subscribeEvent(host, eventName, clientId, callback, context, flags);
    }
}

void PluginBase::UnsubscribeEvent(const char* eventName, std::uint32_t clientId) {
    if (HostApi* host = Host(); host != nullptr && host->unsubscribeEvent != nullptr) {
        host->unsubscribeEvent(host, eventName, clientId);
    }
}

void PluginBase::CallHostEntry5(std::uint32_t first, std::uint32_t second, std::uint32_t third, double value,
                                std::uint32_t fourth) {
    if (HostApi* host = Host(); host != nullptr && host->reserved5 != nullptr) {
        host->reserved5(host, first, second, third, value, fourth);
    }
}

void PluginBase::WaitResume() {
    if (HostApi* host = Host(); host != nullptr && host->waitResume != nullptr) {
        host->waitResume(host);
    }
}

void PluginBase::WaitYield(const std::string& label, std::int32_t value) {
    if (HostApi* host = Host(); host != nullptr && host->waitYield != nullptr) {
        host->waitYield(host, label.c_str(), value);
    }
}

std::uint64_t PluginBase::WaitResult() {
    if (HostApi* host = Host(); host != nullptr && host->waitResult != nullptr) {
        return host->waitResult(host);
    }
    return 0;
}

void PluginBase::RegisterTypes() {}

bool PluginBase::OnInit() { return true; }

std::uint64_t PluginBase::Wait() {
    WaitYield("Wait: yield", 0);
    WaitResume();
    return WaitResult();
}

std::uint8_t PZL_CDECL PluginBase::Init(void* plugin, HostContext* context) {
    if (plugin == nullptr || context == nullptr || context->api == nullptr) {
        return 0;
    }
    auto* self = static_cast<PluginBase*>(plugin);
    try {
        return self->Initialise(context) ? 1 : 0;
    } catch (...) {
        // Nothing may escape into the host.
        LogCaughtException(self->name_.shortName.c_str(), "Init");
        return 0;
    }
}

bool PluginBase::Initialise(HostContext* context) {
    hostContext_ = context;
    InstallPluginLogTarget(context->api, logTarget_);
    // Declaration mistakes were found at registration, before the plugin had a log.
    for (const TypeRegistry::RegistrationNote& note : typeRegistry_->RegistrationNotes()) {
        Log(note.level, kCategoryGeneral, "%s", note.text.c_str());
    }
    clientId_ = context->clientId;
    shortName_ = name_.shortName;
    serviceProxy_.SetShortName(shortName_);
    handlerRegistry_ = registry_;
    owner_ = this;
    telemetry_ = std::make_unique<TelemetrySender>(this);
    SubscribeServiceProxyEvent("OnServiceProxyUuidEvent",
                               [this](const PluginServiceProxyResponse& response) { serviceProxy_.OnUuidMessage(response); });
    SubscribeServiceProxyEvent("OnServiceProxyMethodEvent", [this](const PluginServiceProxyResponse& response) {
        serviceProxy_.OnMethodMessage(response);
    });
    SubscribeServiceProxyEvent("OnServiceProxyAsyncEvent", [this](const PluginServiceProxyResponse& response) {
        serviceProxy_.OnAsyncMessage(response);
    });
    return OnInit();
}

void PZL_CDECL PluginBase::Unload(void* plugin) {
    if (plugin == nullptr) {
        return;
    }
    auto* self = static_cast<PluginBase*>(plugin);
    try {
        self->Shutdown();
    } catch (...) {
        LogCaughtException(self->name_.shortName.c_str(), "Unload");
    }
    delete self;
}

void PZL_CDECL PluginBase::ReportMemoryStats(void*, MemoryStats* stats) {
    if (stats != nullptr) {
        ReadMemoryStats(*stats);
    }
}

}  // namespace Kesh
