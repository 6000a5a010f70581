#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "binding/NativeAssign.h"
#include "binding/NativeToValue.h"
#include "binding/TypeRegistry.h"
#include "runtime/ApiTable.h"
#include "runtime/ApiVersion.h"
#include "runtime/HostApi.h"
#include "runtime/HostRegistration.h"
#include "runtime/HttpMethod.h"
#include "runtime/PluginConnection.h"
#include "runtime/PluginLogTarget.h"
#include "runtime/PluginName.h"
#include "runtime/RequestMessages.h"
#include "runtime/RequestResult.h"

namespace Kesh {

// The base of every plugin object: registration with the host, the host's functions,
// typed requests. A plugin derives from it, declares its types in RegisterTypes and
// starts its work in OnInit.
//
// Virtual table as GCC and mingw lay it out (checked with -fdump-lang-class): 0
// Subscribe, 1 Unsubscribe, 2 and 3 the destructor (complete, then deleting), 4
// Shutdown, then the functions below from 5 to 15. A compiler with one destructor
// entry puts each of them one slot lower.
class PluginBase : public PluginConnection {
public:
    PluginBase();
    ~PluginBase() override;

    // Slot 5: the host's synchronous request (entry 0).
    virtual void Request(HostReply* reply, HostRequest* request);
    // Slots 6 and 7: host entries 1 and 2, which this SDK does not use itself.
    virtual void CallHostEntry1(std::uint32_t first, std::uint32_t second);
    virtual void CallHostEntry2(std::uint32_t word);
    // Slots 8 and 9: host entries 3 and 4.
    virtual void SubscribeEvent(const char* eventName, std::uint32_t clientId, HostEventCallback callback,
                                void* context, std::uint32_t flags);
    virtual void UnsubscribeEvent(const char* eventName, std::uint32_t clientId);
    // Slot 10: host entry 5.
    virtual void CallHostEntry5(std::uint32_t first, std::uint32_t second, std::uint32_t third, double value,
                                std::uint32_t fourth);
    // Slots 11 to 13: host entries 6, 7 and 8, the steps of Wait.
    virtual void WaitResume();
    virtual void WaitYield(const std::string& label, std::int32_t value);
    virtual std::uint64_t WaitResult();
    // Slot 14: the plugin declares its own binding types here.
    virtual void RegisterTypes();
    // Slot 15: run at the end of init; its result is init's result.
    virtual bool OnInit();

    // Hands control to the host for a moment, while a streamed reply has no data yet.
    std::uint64_t Wait();

    // A request to a host resource; Reply = void asks for no reply value.
    template <typename Reply = void>
    RequestResult<Reply> CallApi(HttpMethod method, const std::string& path);
    template <typename Reply = void, typename Body>
    RequestResult<Reply> CallApi(HttpMethod method, const std::string& path, const Body& body);

    // Registration, run by the export: checks the core's plugin API version (an
    // incompatible core ends the process), names the plugin, declares the types and
    // fills the record.
    static void Register(PluginBase* plugin, HostRegistration* record, const char* shortName);

    TypeRegistry& Registry() { return *typeRegistry_; }
    const PluginName& Name() const { return name_; }
    const std::string& ShortName() const { return shortName_; }
    const std::string& TypeNamePrefix() const { return typeNamePrefix_; }
    const std::vector<std::string>& TypeTags() const { return typeTags_; }
    const ApiVersion& CoreVersion() const { return coreVersion_; }
    std::uint32_t ClientId() const { return clientId_; }
    const PluginCallbacks& Callbacks() const { return callbacks_; }
    TelemetrySender* Telemetry() { return telemetry_.get(); }

private:
    static std::uint8_t PZL_CDECL Init(void* plugin, HostContext* context);
    static void PZL_CDECL Unload(void* plugin);
    static void PZL_CDECL ReportMemoryStats(void* plugin, MemoryStats* stats);

    bool Initialise(HostContext* context);
    HostApi* Host() const;

    // Sends a request whose body (if any) is already a dynamic value. With
    // replyValue null no reply value is read. Returns whether it succeeded; on
    // failure error holds why.
    bool Send(HttpMethod method, const std::string& path, const BindingProperty* body,
              BindingProperty* replyValue, RequestError& error);

    template <typename Reply>
    RequestResult<Reply> Finish(HttpMethod method, const std::string& path, const BindingProperty* body);

    // A reference on the library's LogManager for the object's life. The first member,
    // so that it is released last and also when a later part of construction throws.
    struct LogManagerReference {
        LogManagerReference();
        ~LogManagerReference();
        LogManagerReference(const LogManagerReference&) = delete;
        LogManagerReference& operator=(const LogManagerReference&) = delete;
    };

    LogManagerReference logManagerReference_;
    ApiVersion coreVersion_;
    std::unique_ptr<PluginLogTarget> logTarget_;
    PluginName name_;
    std::string typeNamePrefix_;
    std::vector<std::string> typeTags_;
    std::unique_ptr<TypeRegistry> typeRegistry_;
    HostContext* hostContext_ = nullptr;
    PluginCallbacks callbacks_;
    ApiTableStorage apiTableStorage_;
    ApiTable* apiTable_ = nullptr;
};

template <typename Reply>
RequestResult<Reply> PluginBase::Finish(HttpMethod method, const std::string& path, const BindingProperty* body) {
    RequestError error;
    if constexpr (std::is_void_v<Reply>) {
        if (!Send(method, path, body, nullptr, error)) {
            return RequestResult<void>::Failure(std::move(error));
        }
        return RequestResult<void>::Success();
    } else {
        BindingProperty replyValue;
        if (!Send(method, path, body, &replyValue, error)) {
            return RequestResult<Reply>::Failure(std::move(error));
        }
        Reply reply{};
        ConversionResult converted;
        if (!AssignNative(converted, reply, replyValue, "<result>", typeRegistry_.get())) {
            return RequestResult<Reply>::Failure(
                MakeRequestError(kResponseConversionError, method, path, converted.ErrorMessage()));
        }
        return RequestResult<Reply>::Success(std::move(reply));
    }
}

template <typename Reply>
RequestResult<Reply> PluginBase::CallApi(HttpMethod method, const std::string& path) {
    return Finish<Reply>(method, path, nullptr);
}

template <typename Reply, typename Body>
RequestResult<Reply> PluginBase::CallApi(HttpMethod method, const std::string& path, const Body& body) {
    const ConversionResult converted = ToValue(body, typeRegistry_.get());
    if (!converted.Ok()) {
        return RequestResult<Reply>::Failure(
            MakeRequestError(kRequestNotSent, method, path, converted.ErrorMessage()));
    }
    return Finish<Reply>(method, path, &converted.Value());
}

}  // namespace Kesh
