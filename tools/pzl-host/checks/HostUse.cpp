#include <algorithm>
#include <cctype>

#include "tools/pzl-host/ValueJson.h"
#include "tools/pzl-host/checks/Check.h"
#include "tools/pzl-host/checks/PayloadMaker.h"

namespace Kesh::StandIn {
namespace {

std::string RequestLine(const RecordedRequest& request) {
    std::string text = HttpMethodName(request.Method());
    if (text.empty()) text = request.method == 8 ? request.customMethod : "method " + std::to_string(request.method);
    text += " " + (request.hasUrl ? request.url : std::string("(no URL)"));
    if (!request.arguments.empty()) text += " " + ToJson(request.Body()).substr(0, 200);
    return text;
}

std::string Masked(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) out += c;
        else if (out.empty() || out.back() != '#') out += '#';
    }
    return out;
}

}  // namespace

std::string HostUseFault(const FakeHost& host) {
    std::string text;
    auto add = [&](const std::string& fault) { text += (text.empty() ? "" : "; ") + fault; };
    for (const std::string& fault : host.Faults()) add(fault);
    for (const RecordedRequest& request : host.Requests()) {
        if (request.replyReleases > 1)
            add("the reply of " + RequestLine(request) + " was released " + std::to_string(request.replyReleases) + " times");
        else if (request.replyReleases == 0)
            add("the reply of " + RequestLine(request) + " was never released");
        if (request.streamed && request.bodyReleases == 0)
            add("the streamed body of " + RequestLine(request) + " was left open");
    }
    return text;
}

std::string HostCallText(const FakeHost& host, const HostCall& call, bool masked) {
    switch (call.kind) {
    case HostCallKind::Subscribe: {
        const RecordedSubscription& subscription = host.Subscriptions()[call.index];
        return "subscribe " + subscription.eventName + " " + std::to_string(subscription.flags);
    }
    case HostCallKind::Unsubscribe: return "unsubscribe " + host.Unsubscriptions()[call.index].eventName;
    case HostCallKind::Request: return "request " + RequestLine(host.Requests()[call.index]);
    case HostCallKind::Log: {
        const LogLine& line = host.LogLines()[call.index];
        return "log " + std::to_string(line.level) + " " + (masked ? Masked(line.message) : line.message);
    }
    case HostCallKind::Wait: {
        const WaitCall& wait = host.WaitCalls()[call.index];
        return "wait " + std::to_string(wait.entry) + " " + wait.label;
    }
    case HostCallKind::Other: {
        const OtherEntryCall& other = host.OtherCalls()[call.index];
        std::string text = "entry " + std::to_string(other.entry);
        for (std::uint32_t word : other.words) text += " " + std::to_string(word);
        return text;
    }
    case HostCallKind::Event: {
        const DeliveredEvent& event = host.Events()[call.index];
        return "event " + event.eventName + " " + event.eventType;
    }
    case HostCallKind::Fault: return "fault " + host.Faults()[call.index];
    }
    return "call";
}

void Exercise(Loaded& plugin, std::uint64_t seed, int rounds) {
    const std::map<std::string, std::string> paths = WatchedPaths(plugin.host);
    // The other subscriptions (service events and the like) get plain values.
    std::vector<std::string> others;
    for (const RecordedSubscription& subscription : plugin.host.ActiveSubscriptions()) {
        if (paths.count(subscription.eventName) == 0 &&
            std::find(others.begin(), others.end(), subscription.eventName) == others.end())
            others.push_back(subscription.eventName);
    }
    PayloadMaker maker(seed, plugin.session->Table());
    static const char* const kTypes[] = {"Create", "Update", "Delete"};
    for (int round = 0; round < rounds; ++round) {
        for (const auto& [event, path] : paths) plugin.host.DeliverResourceEvent(path, kTypes[maker.Pick(3)], maker.Value(0));
        for (const std::string& event : others) plugin.host.Deliver(event, maker.Value(0));
    }
}

}  // namespace Kesh::StandIn
