#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"

namespace Kesh {

class TypeRegistry;

// The built-in vocabulary for asynchronous operations, callbacks and generic event
// payloads.

enum class BindingAsyncState : std::int32_t {
    None = 0,
    Running = 1,
    Cancelling = 2,
    Cancelled = 3,
    Succeeded = 4,
    Failed = 5,
};

struct BindingGenericEvent {
    BindingProperty data;
};

struct BindingCallbackEvent {
    std::uint32_t id = 0;
    std::vector<BindingProperty> parameters;
};

struct BindingGenericAsyncEvent {
    std::uint32_t asyncToken = 0;
    BindingProperty data;
};

struct BindingAsyncFailureEvent {
    std::uint32_t asyncToken = 0;
    std::string error;
};

struct BindingAsyncCancelEvent {
    std::uint32_t asyncToken = 0;
};

// Declares BindingAsyncState and the five event payload structs, in that order.
void RegisterAsyncTypes(TypeRegistry& registry);

}  // namespace Kesh
