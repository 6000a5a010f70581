#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "runtime/HostApi.h"
#include "runtime/HttpMethod.h"

namespace Kesh::StandIn {

// One typed argument of a request as the fake host received it.
struct RecordedArgument {
    bool hasName = false;
    std::string name;
    // The record's kind number as sent, and its count field (text length, byte count,
    // element or member count; 0 for scalars).
    std::uint32_t kind = 0;
    std::uint32_t count = 0;
    // The record read back into a value; when that failed, converted is false and
    // error holds the message.
    BindingProperty value;
    bool converted = false;
    std::string error;
};

// One call of the request entry and what became of its reply.
struct RecordedRequest {
    // The method number as sent.
    std::uint32_t method = 0;
    bool hasUrl = false;
    std::string url;
    std::uint32_t clientId = 0;
    std::uint32_t argumentCount = 0;
    std::vector<RecordedArgument> arguments;
    // Parts a plain resource request leaves unset.
    std::uint32_t headerCount = 0;
    bool hasHeaders = false;
    bool hasContentType = false;
    bool hasRawBody = false;
    std::uint32_t rawBodyLength = 0;
    bool hasUserData = false;
    bool hasCustomMethod = false;
    std::string customMethod;

    // The reply: how often its release function ran, and for a streamed one how often
    // its body was read and released.
    std::uint32_t status = 0;
    bool answeredWithError = false;
    bool streamed = false;
    std::uint32_t replyReleases = 0;
    std::uint32_t bodyReads = 0;
    std::uint32_t bodyReleases = 0;

    HttpMethod Method() const { return HttpMethodFromHost(method); }
    // The first argument's value (the request body), or Empty.
    const BindingProperty& Body() const {
        return arguments.empty() ? BindingProperty::SharedEmpty() : arguments.front().value;
    }
};

// One call of the subscribe entry.
struct RecordedSubscription {
    std::string eventName;
    std::uint32_t clientId = 0;
    HostEventCallback callback = nullptr;
    void* context = nullptr;
    std::uint32_t flags = 0;
};

// One call of the unsubscribe entry; wasActive tells whether it ended a subscription.
struct RecordedUnsubscription {
    std::string eventName;
    std::uint32_t clientId = 0;
    bool wasActive = false;
};

// One call of the log entry.
struct LogLine {
    std::int32_t level = 0;
    std::string message;
};

// One step of a wait: entry 7 (label and value), 6 or 8, in the order called.
struct WaitCall {
    int entry = 0;
    std::string label;
    std::int32_t value = 0;
};

// A call of entry 1, 2 or 5, which carry no meaning for the plugin: its words in order
// (and for entry 5 the floating-point value).
struct OtherEntryCall {
    int entry = 0;
    std::vector<std::uint32_t> words;
    double value = 0.0;
};

// An event the host delivered: its name, the resource change it carried when it was
// one (uri, type name, data), and how many subscribers it reached.
struct DeliveredEvent {
    std::string eventName;
    bool resourceEvent = false;
    std::string uri;
    std::string eventType;
    BindingProperty data;
    std::size_t receivers = 0;
};

// Every call between the host and the plugin in one list, in the order they happened,
// so that the order across kinds (a subscription before a request, a log line between
// two requests) can be checked. Each entry points into the list of its kind.
enum class HostCallKind {
    Subscribe,    // Subscriptions()[index]
    Unsubscribe,  // Unsubscriptions()[index]
    Request,      // Requests()[index]
    Log,          // LogLines()[index]
    Wait,         // WaitCalls()[index]
    Other,        // OtherCalls()[index]
    Event,        // Events()[index]: delivered by the host to the plugin
    Fault,        // Faults()[index]: a call the host could not accept
};

struct HostCall {
    HostCallKind kind = HostCallKind::Other;
    std::size_t index = 0;
    // Since the host was created.
    std::uint64_t nanoseconds = 0;
    // Made on a thread other than the one that drives the host.
    bool otherThread = false;
};

const char* HostCallKindName(HostCallKind kind);

}  // namespace Kesh::StandIn
