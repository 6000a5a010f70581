#include "binding/AsyncTypes.h"

#include "binding/BindingPropertyDescriptor.h"
#include "binding/BuiltinFields.h"
#include "binding/TypeRegistry.h"

namespace Kesh {

namespace {

using Detail::Scalar;
using Detail::VectorOf;

constexpr TypeIdentifier kToken = Scalar(TypeKind::UInt32);
constexpr TypeIdentifier kObject = Scalar(TypeKind::Object);

template <typename T>
TypeBuilder DeclareStruct(TypeRegistry& registry, const char* name, const char* description, bool async) {
    TypeBuilder builder = registry.DeclareType(name, sizeof(T), StaticTypeOf<T>(), false);
    builder.SetDescription(description).AddTag("$builtin");
    if (async) {
        builder.AddTag("async");
    }
    return builder;
}

}  // namespace

void RegisterAsyncTypes(TypeRegistry& registry) {
    TypeBuilder state = registry.DeclareType("BindingAsyncState", sizeof(BindingAsyncState),
                                             StaticTypeOf<BindingAsyncState>(), true);
    state.SetDescription("Possible states of an asynchronous operation.")
        .AddTags({"$builtin", "async"})
        .AddEnumerator("None", static_cast<std::int32_t>(BindingAsyncState::None), "Invalid state")
        .AddEnumerator("Running", static_cast<std::int32_t>(BindingAsyncState::Running),
                       "The operation is in flight")
        .AddEnumerator("Cancelling", static_cast<std::int32_t>(BindingAsyncState::Cancelling),
                       "A request to cancel the operation has been made")
        .AddEnumerator("Cancelled", static_cast<std::int32_t>(BindingAsyncState::Cancelled),
                       "The operation was cancelled")
        .AddEnumerator("Succeeded", static_cast<std::int32_t>(BindingAsyncState::Succeeded),
                       "The operation completed successfully")
        .AddEnumerator("Failed", static_cast<std::int32_t>(BindingAsyncState::Failed),
                       "The operation encountered an error");

    TypeBuilder generic = DeclareStruct<BindingGenericEvent>(registry, "BindingGenericEvent",
                                                             "Represents generic data for an event.", false);
    PZL_BUILTIN_FIELD(generic, BindingGenericEvent, data, "Event data", kObject,
                      std::make_unique<BindingPropertyDescriptor>());

    TypeBuilder callback = DeclareStruct<BindingCallbackEvent>(
        registry, "BindingCallbackEvent", "Represents the parameters of a call to a provided callback.", false);
    PZL_BUILTIN_FIELD(callback, BindingCallbackEvent, id, "ID of the callback being invoked", kToken);
    PZL_BUILTIN_FIELD(callback, BindingCallbackEvent, parameters, "Callback parameters",
                      VectorOf(TypeKind::Object));

    TypeBuilder genericAsync = DeclareStruct<BindingGenericAsyncEvent>(
        registry, "BindingGenericAsyncEvent", "Represents generic data for an asynchronous event.", true);
    PZL_BUILTIN_FIELD(genericAsync, BindingGenericAsyncEvent, asyncToken, "Asynchronous operation token", kToken);
    PZL_BUILTIN_FIELD(genericAsync, BindingGenericAsyncEvent, data, "Event data", kObject,
                      std::make_unique<BindingPropertyDescriptor>());

    TypeBuilder failure = DeclareStruct<BindingAsyncFailureEvent>(
        registry, "BindingAsyncFailureEvent", "Represents a failed asynchronous operation.", true);
    PZL_BUILTIN_FIELD(failure, BindingAsyncFailureEvent, asyncToken, "Asynchronous operation token", kToken);
    PZL_BUILTIN_FIELD(failure, BindingAsyncFailureEvent, error, "Error message", Scalar(TypeKind::String));

    TypeBuilder cancel = DeclareStruct<BindingAsyncCancelEvent>(
        registry, "BindingAsyncCancelEvent", "Represents a cancelled asynchronous operation.", true);
    PZL_BUILTIN_FIELD(cancel, BindingAsyncCancelEvent, asyncToken, "Asynchronous operation token", kToken);
}

}  // namespace Kesh
