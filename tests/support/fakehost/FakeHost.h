#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tools/fakehost/FakeHost.h"

namespace Kesh::Testing {

using StandIn::DeliveredEvent, StandIn::FakeReplyStream, StandIn::FakeResourceStore, StandIn::HostCall,
    StandIn::HostCallKind, StandIn::LogLine, StandIn::OtherEntryCall, StandIn::RecordedArgument,
    StandIn::RecordedRequest, StandIn::RecordedSubscription, StandIn::RecordedUnsubscription, StandIn::ReplyPlan,
    StandIn::StreamPlan, StandIn::WaitCall;

// The stand-in host for tests: a call it cannot accept fails the running test.
class FakeHost : public StandIn::FakeHost {
public:
    explicit FakeHost(std::uint32_t clientId = kDefaultClientId) : StandIn::FakeHost(clientId) {}

protected:
    void OnFault(const std::string& message) override { ADD_FAILURE() << "host fault: " << message; }
};

}  // namespace Kesh::Testing
