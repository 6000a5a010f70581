#include "tools/pzl-host/CallJournal.h"

#include "tools/pzl-host/Isolation.h"
#include "tools/pzl-host/ValueJson.h"

namespace Kesh::StandIn {
namespace {

// Values are cut short: a journal line has room for about one line of text.
std::string Short(std::string text) {
    constexpr std::size_t kKeep = 120;
    if (text.size() > kKeep) text = text.substr(0, kKeep) + "...";
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

}  // namespace

std::string DescribeHostCall(const FakeHost& host, const HostCall& call) {
    std::string text = HostCallKindName(call.kind);
    switch (call.kind) {
    case HostCallKind::Request: {
        const RecordedRequest& request = host.Requests()[call.index];
        const char* method = request.hasCustomMethod ? request.customMethod.c_str() : HttpMethodName(request.Method());
        text += std::string(" ") + method + " " + (request.hasUrl ? request.url : "(no URL)") + " -> " +
                std::to_string(request.status == 0 ? 200 : request.status);
        if (request.answeredWithError) text += " (error)";
        if (!request.arguments.empty()) text += " body " + Short(ToJson(request.Body()));
        break;
    }
    case HostCallKind::Event: {
        const DeliveredEvent& event = host.Events()[call.index];
        text += " " + event.eventName;
        if (event.resourceEvent) text += " " + event.eventType + " " + event.uri + " data " + Short(ToJson(event.data));
        break;
    }
    case HostCallKind::Log: {
        const LogLine& line = host.LogLines()[call.index];
        text += " " + std::to_string(line.level) + " " + Short(line.message);
        break;
    }
    case HostCallKind::Subscribe: text += " " + host.Subscriptions()[call.index].eventName; break;
    case HostCallKind::Unsubscribe: text += " " + host.Unsubscriptions()[call.index].eventName; break;
    case HostCallKind::Fault: text += " " + Short(host.Faults()[call.index]); break;
    case HostCallKind::Wait: {
        const WaitCall& wait = host.WaitCalls()[call.index];
        text += " entry " + std::to_string(wait.entry);
        if (wait.entry == 7) text += " " + Short(wait.label);
        break;
    }
    case HostCallKind::Other: text += " entry " + std::to_string(host.OtherCalls()[call.index].entry); break;
    }
    if (call.otherThread) text += " (from another thread)";
    return text;
}

void JournalHostCall(const FakeHost& host, const HostCall& call) {
    if (!JournalActive()) return;
    JournalCall(DescribeHostCall(host, call));
}

}  // namespace Kesh::StandIn
