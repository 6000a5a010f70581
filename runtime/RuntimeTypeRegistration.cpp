#include "runtime/RuntimeTypeRegistration.h"

#include "binding/EnumDeclaration.h"
#include "binding/StructDeclaration.h"
#include "binding/TypeRegistry.h"
#include "runtime/RuntimeTypes.h"

namespace Kesh {
namespace {

constexpr const char* kTag = "kclient";

void DeclareEvent(TypeRegistry& registry, const char* name, const TypeRecord* payload, const char* description) {
    registry.DeclareEvent(name, payload).SetDescription(description).AddTag(kTag);
}

}  // namespace

void RegisterRuntimeTypes(TypeRegistry& registry) {
    EnumDeclaration<PluginManagerState>(registry, "PluginManagerState")
        .Tags({kTag})
        .Value("NotReady", PluginManagerState::NotReady)
        .Value("PluginsInitialized", PluginManagerState::PluginsInitialized);
    StructDeclaration<PluginManagerResource>(registry, "PluginManagerResource")
        .Tags({kTag})
        .Field("state", &PluginManagerResource::state);

    EnumDeclaration<PluginResourceEventType>(registry, "PluginResourceEventType")
        .Tags({kTag})
        .Value("Create", PluginResourceEventType::Create)
        .Value("Update", PluginResourceEventType::Update)
        .Value("Delete", PluginResourceEventType::Delete);
    const TypeRecord* resourceEvent = StructDeclaration<PluginResourceEvent>(registry, "PluginResourceEvent")
                                          .Tags({kTag})
                                          .Field("uri", &PluginResourceEvent::uri)
                                          .Field("eventType", &PluginResourceEvent::eventType)
                                          .Field("data", &PluginResourceEvent::data)
                                          .Record();

    const TypeRecord* lcdsEvent = StructDeclaration<PluginLcdsEvent>(registry, "PluginLcdsEvent")
                                      .Tags({kTag})
                                      .Field("clientId", &PluginLcdsEvent::clientId)
                                      .Field("subtopic", &PluginLcdsEvent::subtopic)
                                      .Field("typeName", &PluginLcdsEvent::typeName)
                                      .Field("body", &PluginLcdsEvent::body)
                                      .Record();
    StructDeclaration<PluginLcdsResponse>(registry, "PluginLcdsResponse")
        .Tags({kTag})
        .Field("typeName", &PluginLcdsResponse::typeName)
        .Field("body", &PluginLcdsResponse::body);

    const TypeRecord* serviceProxy =
        StructDeclaration<PluginServiceProxyResponse>(registry, "PluginServiceProxyResponse")
            .Tags({kTag})
            .Field("uuid", &PluginServiceProxyResponse::uuid)
            .Field("serviceName", &PluginServiceProxyResponse::serviceName)
            .Field("methodName", &PluginServiceProxyResponse::methodName)
            .Field("payload", &PluginServiceProxyResponse::payload)
            .Field("status", &PluginServiceProxyResponse::status)
            .Field("error", &PluginServiceProxyResponse::error)
            .Record();

    DeclareEvent(registry, "OnJsonApiEvent", resourceEvent, "Fired when a resource is changed.");
    DeclareEvent(registry, "OnLcdsEvent", lcdsEvent, "Fired when a message is received over the LCDS connection.");
    DeclareEvent(registry, "OnServiceProxyUuidEvent", serviceProxy,
                 "Fired when a uuid-based service proxy message is received.");
    DeclareEvent(registry, "OnServiceProxyMethodEvent", serviceProxy,
                 "Fired when a method-based service proxy message is received.");
    DeclareEvent(registry, "OnServiceProxyAsyncEvent", serviceProxy,
                 "Fired when an async service proxy message is received.");
}

}  // namespace Kesh
