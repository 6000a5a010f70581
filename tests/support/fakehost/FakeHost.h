#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tools/fakehost/FakeHost.h"

namespace Kesh::Testing {

using StandIn::DeliveredEvent;
using StandIn::FakeReplyStream;
using StandIn::FakeResourceStore;
using StandIn::HostCall;
using StandIn::HostCallKind;
using StandIn::LogLine;
using StandIn::OtherEntryCall;
using StandIn::RecordedArgument;
using StandIn::RecordedRequest;
using StandIn::RecordedSubscription;
using StandIn::RecordedUnsubscription;
using StandIn::ReplyPlan;
using StandIn::StreamPlan;
using StandIn::WaitCall;

// The stand-in host for tests: a call it cannot accept fails the running test.
class FakeHost : public StandIn::FakeHost {
public:
    explicit FakeHost(std::uint32_t clientId = kDefaultClientId) : StandIn::FakeHost(clientId) {}

protected:
    void OnFault(const std::string& message) override { ADD_FAILURE() << "host fault: " << message; }
};

}  // namespace Kesh::Testing
