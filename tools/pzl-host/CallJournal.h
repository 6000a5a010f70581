#pragma once

#include <string>

#include "tools/fakehost/FakeHost.h"

namespace Kesh::StandIn {

// One line for a host call: "request GET /a/b -> 200", "event OnJsonApiEvent_a Update /a/b",
// "log 3 text", "subscribe NAME" and so on.
std::string DescribeHostCall(const FakeHost& host, const HostCall& call);

// The fake host's call watcher in an isolated child: each call to the journal of recent
// calls (see JournalCall).
void JournalHostCall(const FakeHost& host, const HostCall& call);

}  // namespace Kesh::StandIn
