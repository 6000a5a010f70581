#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "binding/BindingProperty.h"
#include "binding/HostValue.h"
#include "runtime/HostApi.h"
#include "runtime/HostRegistration.h"
#include "runtime/HttpMethod.h"
#include "tools/fakehost/FakeHostRecords.h"
#include "tools/fakehost/FakeReplyStream.h"
#include "tools/fakehost/FakeResourceStore.h"
#include "tools/fakehost/ReplyPlan.h"

namespace Kesh::StandIn {

class FakeHost;

// The API table handed to the plugin, with the way back to its host: the table's
// functions receive the table's address and find the host behind it.
struct FakeHostTable {
    HostApi api;
    FakeHost* host;
};

// A stand-in host: implements every entry of the host's API table for real, keeps
// resources in memory and records every call, so that a plugin runs (in tests and in
// pzl-host) through the same calls a host makes.
//
//   FakeHost host;
//   host.SetResource("/a", value);
//   PluginInit(plugin, &host.Context());
//   EXPECT_EQ(host.Requests()[0].url, "/a");
//
// Everything the host hands to the plugin (reply values, error texts, streams) is freed
// by the host's own release functions; content-type texts and stream owners stay with
// the host until ClearRecords or its destruction, so that a release called twice is
// counted instead of freeing twice. The plugin's calls may come from any thread (those
// from a thread other than the driving one are marked); the record accessors are meant
// to be read once the calls are done. A call the host cannot accept (a null record, a
// release of a cleared reply) is a fault: recorded, passed to OnFault, never a crash.
class FakeHost {
public:
    static constexpr std::uint32_t kDefaultClientId = 77;

    explicit FakeHost(std::uint32_t clientId = kDefaultClientId);
    virtual ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // What the plugin's init receives.
    HostContext& Context() noexcept { return context_; }
    HostApi& Api() noexcept { return table_.api; }
    std::uint32_t ClientId() const noexcept { return context_.clientId; }

    // Resources answered by the store.
    void SetResource(std::string_view path, const BindingProperty& value);
    const BindingProperty& Store(std::string_view path) const;
    bool HasResource(std::string_view path) const;
    void RemoveResource(std::string_view path);
    // Every stored path, sorted.
    std::vector<std::string> ResourcePaths() const;

    // A fixed answer for one method and path, in place of the store's, for every later
    // request until ClearReplies.
    void SetReply(HttpMethod method, std::string_view path, ReplyPlan plan);
    void ReplyWithValue(HttpMethod method, std::string_view path, const BindingProperty& value) {
        SetReply(method, path, ReplyPlan::Value(value));
    }
    void ReplyWithError(HttpMethod method, std::string_view path, std::string text, std::uint32_t statusCode) {
        SetReply(method, path, ReplyPlan::Error(std::move(text), statusCode));
    }
    void ReplyWithStream(HttpMethod method, std::string_view path, StreamPlan stream) {
        SetReply(method, path, ReplyPlan::Stream(std::move(stream)));
    }
    void ClearReplies();
    void RemoveReply(HttpMethod method, std::string_view path);

    // Live store: requests that change a resource raise the resource's event the way
    // the host does (PUT Create or Update, PATCH Update, DELETE Delete of a stored
    // resource), and POST with a body stores it like PUT. The events are queued, not
    // delivered inside the request, because the host delivers one event at a time:
    // DeliverPending hands them out. Off by default.
    void SetLiveStore(bool on);
    std::size_t PendingEventCount() const;
    // Delivers queued events (and those they cause) until none is left or limit were
    // delivered; returns how many were delivered.
    std::size_t DeliverPending(std::size_t limit);

    // Every later answer that is not an error goes out as a streamed body holding
    // text(value) instead of a value, the way a host answers with a body; an empty
    // function ends that.
    void StreamAnswers(std::function<std::string(const BindingProperty&)> text);

    // The next budget requests are answered with plan whatever they ask (a host in
    // trouble); after that the answers are the usual ones again.
    void FailRequests(ReplyPlan plan, std::size_t budget);
    // Requests answered so far by FailRequests' plan, since it was set.
    std::size_t FailedRequests() const;

    // The thread whose calls count as the host's own; the creating one until set.
    void SetDriverThread(std::thread::id thread);

    // What the third step of a wait returns.
    void SetWaitResult(std::uint64_t value);

    // Calls every active subscriber of exactly that event name, in the order they
    // subscribed, with the payload and its own context; false (and nothing called) when
    // nobody subscribed the name.
    bool Deliver(std::string_view eventName, const BindingProperty& payload);
    // The same with a record the caller built and keeps (and releases) itself, for
    // payloads no value can produce.
    bool DeliverRecord(std::string_view eventName, const HostValue& payload);
    // A resource change: {"uri": path, "eventType": type, "data": data} delivered to the
    // event that covers path. The type goes by name ("Create", "Update", "Delete") or by
    // number.
    bool DeliverResourceEvent(std::string_view path, std::string_view eventType, const BindingProperty& data);
    bool DeliverResourceEvent(std::string_view path, std::int32_t eventType, const BindingProperty& data);

    // Nanoseconds since the host was created: the clock of HostCall::nanoseconds.
    std::uint64_t Elapsed() const;
    // Every call in the order made, across kinds.
    const std::vector<HostCall>& Calls() const { return calls_; }
    // Records of each kind, in the order of the calls.
    const std::vector<DeliveredEvent>& Events() const { return events_; }
    const std::vector<std::string>& Faults() const { return faults_; }
    const std::vector<RecordedRequest>& Requests() const { return requests_; }
    const std::vector<RecordedSubscription>& Subscriptions() const { return subscriptions_; }
    const std::vector<RecordedUnsubscription>& Unsubscriptions() const { return unsubscriptions_; }
    const std::vector<LogLine>& LogLines() const { return logLines_; }
    const std::vector<WaitCall>& WaitCalls() const { return waitCalls_; }
    const std::vector<OtherEntryCall>& OtherCalls() const { return otherCalls_; }
    // Subscriptions made and not yet ended, in the order made.
    const std::vector<RecordedSubscription>& ActiveSubscriptions() const { return active_; }
    bool IsSubscribed(std::string_view eventName) const;
    // Waits completed (calls of the third step).
    std::size_t WaitCount() const;
    // Replies handed out whose release function has not run yet, and streams whose
    // body release has not run yet.
    std::size_t OutstandingReplies() const;
    std::size_t OpenStreams() const;

    // Runs read with the records locked, so that another thread may read them while the
    // plugin runs; read must not call the host.
    template <typename Read>
    void ReadRecords(Read&& read) const {
        std::lock_guard<std::mutex> guard(mutex_);
        read(*this);
    }

    // Forgets every record (active subscriptions, resources and fixed answers stay), and
    // frees what released replies and streams kept alive.
    void ClearRecords();

    // One watcher for the whole process, told of every call of every host as it is
    // recorded (records locked: it may read them, not call the host), so that the last
    // calls can be kept where a crash of the process does not lose them.
    using CallWatcher = void (*)(const FakeHost& host, const HostCall& call);
    static void SetCallWatcher(CallWatcher watcher);

protected:
    // Called (unlocked) for every fault after it is recorded.
    virtual void OnFault(const std::string& message);

private:
    friend struct FakeHostEntries;
    struct PendingEvent {
        std::string path;
        std::string eventType;
        BindingProperty data;
    };

    // Appends to calls_; mutex_ held.
    void NoteCall(HostCallKind kind, std::size_t index);
    void Fault(std::string message);
    void QueueChange(HttpMethod method, const RecordedRequest& record, const ReplyPlan& plan, bool existed);
    struct ReplyTicket;
    struct StreamOwner;

    void OnRequest(HostReply& reply, const HostRequest& request);
    ReplyPlan PlanFor(HttpMethod method, const RecordedRequest& record);
    void FillReply(HostReply& reply, const ReplyPlan& plan, std::uint64_t sequence);
    bool IsActive(const RecordedSubscription& target) const;
    bool DeliverNoted(std::string_view eventName, const HostValue& payload, DeliveredEvent described);
    RecordedRequest* FindRequest(std::uint64_t sequence);
    void OnReplyReleased(ReplyTicket& ticket);
    bool OnBodyRead(StreamOwner& owner, char* buffer, std::uint32_t& length, std::uint8_t& moreData);
    void OnBodyReleased(StreamOwner& owner);

    FakeHostTable table_;
    HostContext context_;

    mutable std::mutex mutex_;
    FakeResourceStore store_;
    std::map<std::pair<HttpMethod, std::string>, ReplyPlan> replies_;
    std::uint64_t waitResult_ = 0;
    bool liveStore_ = false;
    std::deque<PendingEvent> pending_;
    std::function<std::string(const BindingProperty&)> streamText_;
    std::optional<ReplyPlan> failPlan_;
    std::size_t failBudget_ = 0;
    std::size_t failed_ = 0;
    std::thread::id driver_;
    std::chrono::steady_clock::time_point start_;

    std::vector<RecordedRequest> requests_;
    // Sequence number of requests_[0]; requests are numbered from 0 for the host's life.
    std::uint64_t firstSequence_ = 0;
    std::vector<RecordedSubscription> subscriptions_;
    std::vector<RecordedUnsubscription> unsubscriptions_;
    std::vector<RecordedSubscription> active_;
    std::vector<LogLine> logLines_;
    std::vector<WaitCall> waitCalls_;
    std::vector<OtherEntryCall> otherCalls_;
    std::vector<DeliveredEvent> events_;
    std::vector<std::string> faults_;
    std::vector<HostCall> calls_;
    std::vector<std::unique_ptr<ReplyTicket>> tickets_;
    std::vector<std::unique_ptr<StreamOwner>> streams_;
};

}  // namespace Kesh::StandIn
