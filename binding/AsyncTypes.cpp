#include "binding/AsyncTypes.h"

#include "binding/EnumDeclaration.h"
#include "binding/StructDeclaration.h"

namespace Kesh {

void RegisterAsyncTypes(TypeRegistry& registry) {
    using State = BindingAsyncState;
    EnumDeclaration<State>(registry, "BindingAsyncState")
        .Description("Possible states of an asynchronous operation.")
        .Tags({"$builtin", "async"})
        .Value("None", State::None, "Invalid state")
        .Value("Running", State::Running, "The operation is in flight")
        .Value("Cancelling", State::Cancelling, "A request to cancel the operation has been made")
        .Value("Cancelled", State::Cancelled, "The operation was cancelled")
        .Value("Succeeded", State::Succeeded, "The operation completed successfully")
        .Value("Failed", State::Failed, "The operation encountered an error");

    StructDeclaration<BindingGenericEvent>(registry, "BindingGenericEvent")
        .Description("Represents generic data for an event.")
        .Tags({"$builtin"})
        .Field("data", &BindingGenericEvent::data, "Event data");

    StructDeclaration<BindingCallbackEvent>(registry, "BindingCallbackEvent")
        .Description("Represents the parameters of a call to a provided callback.")
        .Tags({"$builtin"})
        .Field("id", &BindingCallbackEvent::id, "ID of the callback being invoked")
        .Field("parameters", &BindingCallbackEvent::parameters, "Callback parameters");

    StructDeclaration<BindingGenericAsyncEvent>(registry, "BindingGenericAsyncEvent")
        .Description("Represents generic data for an asynchronous event.")
        .Tags({"$builtin", "async"})
        .Field("asyncToken", &BindingGenericAsyncEvent::asyncToken, "Asynchronous operation token")
        .Field("data", &BindingGenericAsyncEvent::data, "Event data");

    StructDeclaration<BindingAsyncFailureEvent>(registry, "BindingAsyncFailureEvent")
        .Description("Represents a failed asynchronous operation.")
        .Tags({"$builtin", "async"})
        .Field("asyncToken", &BindingAsyncFailureEvent::asyncToken, "Asynchronous operation token")
        .Field("error", &BindingAsyncFailureEvent::error, "Error message");

    StructDeclaration<BindingAsyncCancelEvent>(registry, "BindingAsyncCancelEvent")
        .Description("Represents a cancelled asynchronous operation.")
        .Tags({"$builtin", "async"})
        .Field("asyncToken", &BindingAsyncCancelEvent::asyncToken, "Asynchronous operation token");
}

}  // namespace Kesh
