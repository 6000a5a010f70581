#include "tools/fakehost/FakeHost.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <exception>
#include <type_traits>

#include "binding/HostValueConversion.h"
#include "runtime/EventName.h"
#include "runtime/HostEvent.h"
#include "runtime/HostReply.h"
#include "runtime/HostRequest.h"

namespace Kesh::StandIn {

const char* HostCallKindName(HostCallKind kind) {
    switch (kind) {
    case HostCallKind::Subscribe: return "subscribe";
    case HostCallKind::Unsubscribe: return "unsubscribe";
    case HostCallKind::Request: return "request";
    case HostCallKind::Log: return "log";
    case HostCallKind::Wait: return "wait";
    case HostCallKind::Other: return "other";
    case HostCallKind::Event: return "event";
    case HostCallKind::Fault: return "fault";
    }
    return "other";
}

static_assert(std::is_standard_layout_v<FakeHostTable>, "the table must sit at the holder's address");

// The content type handed out with a reply doubles as the way back from the reply
// release function to the host and the request: the text is the ticket's first member.
struct FakeHost::ReplyTicket {
    static constexpr std::size_t kTextSize = 64;
    char text[kTextSize];
    FakeHost* host;
    std::uint64_t sequence;
    bool released;

    static ReplyTicket* FromText(const char* text);
};

FakeHost::ReplyTicket* FakeHost::ReplyTicket::FromText(const char* text) {
    static_assert(offsetof(ReplyTicket, text) == 0);
    return reinterpret_cast<ReplyTicket*>(const_cast<char*>(text));
}

// The body stream owner handed out with a streamed reply.
struct FakeHost::StreamOwner {
    FakeHost* host;
    std::uint64_t sequence;
    FakeReplyStream stream;
    bool released;
};

namespace {

std::uint32_t CountField(const HostValue& value) {
    switch (value.kind) {
    case HostValueKind::BorrowedString:
    case HostValueKind::OwnedString:
        return value.payload.string.length;
    case HostValueKind::BorrowedBlob:
    case HostValueKind::OwnedBlob:
        return value.payload.blob.count;
    case HostValueKind::Collection:
        return value.payload.collection.count;
    case HostValueKind::Structure:
        return value.payload.structure.count;
    default:
        return 0;
    }
}

RecordedArgument RecordArgument(const HostArgument& argument) {
    RecordedArgument recorded;
    recorded.hasName = argument.name != nullptr;
    if (recorded.hasName) recorded.name = argument.name;
    recorded.kind = static_cast<std::uint32_t>(argument.value.kind);
    recorded.count = CountField(argument.value);
    HostResultHead head{};
    recorded.converted = FromHostValue(argument.value, recorded.value, "<argument>", head);
    if (!recorded.converted && head.errorText != nullptr) recorded.error = head.errorText;
    head.Release();
    return recorded;
}

// An event payload record that the host built and releases.
struct OwnedRecord {
    HostValue value{};
    OwnedRecord() = default;
    OwnedRecord(const OwnedRecord&) = delete;
    OwnedRecord& operator=(const OwnedRecord&) = delete;
    ~OwnedRecord() { value.Release(); }
};

}  // namespace

// The table's entries: find the host behind the table and hand the call over. Nothing
// thrown here may reach the plugin, so a failure inside the host becomes a fault
// instead.
struct FakeHostEntries {
    // A call without its table cannot be tied to any host: nothing to record it in.
    static FakeHost* HostOf(HostApi* self) {
        return self != nullptr ? reinterpret_cast<FakeHostTable*>(self)->host : nullptr;
    }

    template <typename Work>
    static void Guarded(FakeHost* host, const char* entry, Work&& work) {
        std::string fault;
        try {
            work();
            return;
        } catch (const std::exception& failure) {
            fault = std::string("the host failed in ") + entry + ": " + failure.what();
        } catch (...) {
            fault = std::string("the host failed in ") + entry;
        }
        try {
            host->Fault(std::move(fault));
        } catch (...) {
            // Out of memory while reporting: nothing more can be done here.
        }
    }

    static void PZL_CDECL Request(HostApi* self, HostReply* reply, HostRequest* request) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        if (reply == nullptr || request == nullptr) {
            Guarded(host, "request", [&] { host->Fault("a request was made without its reply or request record"); });
            return;
        }
        Guarded(host, "request", [&] { host->OnRequest(*reply, *request); });
    }

    static void PZL_CDECL Entry1(HostApi* self, std::uint32_t first, std::uint32_t second) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        Guarded(host, "entry 1", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            host->otherCalls_.push_back(OtherEntryCall{1, {first, second}, 0.0});
            host->NoteCall(HostCallKind::Other, host->otherCalls_.size() - 1);
        });
    }

    static void PZL_CDECL Entry2(HostApi* self, std::uint32_t word) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        Guarded(host, "entry 2", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            host->otherCalls_.push_back(OtherEntryCall{2, {word}, 0.0});
            host->NoteCall(HostCallKind::Other, host->otherCalls_.size() - 1);
        });
    }

    static void PZL_CDECL Subscribe(HostApi* self, const char* eventName, std::uint32_t clientId,
                                    HostEventCallback callback, void* context, std::uint32_t flags) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        if (eventName == nullptr || callback == nullptr) {
            Guarded(host, "subscribe", [&] { host->Fault("a subscription without an event name or a callback"); });
            return;
        }
        Guarded(host, "subscribe", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            RecordedSubscription subscription{eventName, clientId, callback, context, flags};
            host->subscriptions_.push_back(subscription);
            host->active_.push_back(std::move(subscription));
            host->NoteCall(HostCallKind::Subscribe, host->subscriptions_.size() - 1);
        });
    }

    static void PZL_CDECL Unsubscribe(HostApi* self, const char* eventName, std::uint32_t clientId) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        if (eventName == nullptr) {
            Guarded(host, "unsubscribe", [&] { host->Fault("an unsubscription without an event name"); });
            return;
        }
        Guarded(host, "unsubscribe", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            const std::string name = eventName;
            const auto ended = std::remove_if(host->active_.begin(), host->active_.end(),
                                              [&](const RecordedSubscription& subscription) {
                                                  return subscription.eventName == name &&
                                                         subscription.clientId == clientId;
                                              });
            const bool wasActive = ended != host->active_.end();
            host->active_.erase(ended, host->active_.end());
            host->unsubscriptions_.push_back(RecordedUnsubscription{name, clientId, wasActive});
            host->NoteCall(HostCallKind::Unsubscribe, host->unsubscriptions_.size() - 1);
        });
    }

    static void PZL_CDECL Entry5(HostApi* self, std::uint32_t first, std::uint32_t second, std::uint32_t third,
                                 double value, std::uint32_t fourth) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        Guarded(host, "entry 5", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            host->otherCalls_.push_back(OtherEntryCall{5, {first, second, third, fourth}, value});
            host->NoteCall(HostCallKind::Other, host->otherCalls_.size() - 1);
        });
    }

    static void PZL_CDECL WaitStep2(HostApi* self) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        Guarded(host, "wait", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            host->waitCalls_.push_back(WaitCall{6, "", 0});
            host->NoteCall(HostCallKind::Wait, host->waitCalls_.size() - 1);
        });
    }

    static void PZL_CDECL WaitStep1(HostApi* self, const char* label, std::int32_t value) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        Guarded(host, "wait", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            host->waitCalls_.push_back(WaitCall{7, label != nullptr ? label : "", value});
            host->NoteCall(HostCallKind::Wait, host->waitCalls_.size() - 1);
        });
    }

    static std::uint64_t PZL_CDECL WaitStep3(HostApi* self) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return 0;
        std::uint64_t result = 0;
        Guarded(host, "wait", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            host->waitCalls_.push_back(WaitCall{8, "", 0});
            host->NoteCall(HostCallKind::Wait, host->waitCalls_.size() - 1);
            result = host->waitResult_;
        });
        return result;
    }

    static void PZL_CDECL Log(HostApi* self, std::int32_t level, const char* message) {
        FakeHost* host = HostOf(self);
        if (host == nullptr) return;
        Guarded(host, "log", [&] {
            std::lock_guard<std::mutex> guard(host->mutex_);
            host->logLines_.push_back(LogLine{level, message != nullptr ? message : ""});
            host->NoteCall(HostCallKind::Log, host->logLines_.size() - 1);
        });
    }

    // The release and stream functions receive no table: a null or cleared record
    // cannot be tied to a host, so such a call is counted by the one host whose calls
    // are being watched, the last one created (a process drives one host at a time).
    static void StrayFault(const char* message) {
        FakeHost* host = lastCreated.load();
        if (host != nullptr) Guarded(host, "release", [&] { host->Fault(message); });
    }

    static void PZL_CDECL ReleaseReply(HostReply* reply) {
        if (reply == nullptr) {
            StrayFault("a reply release without the reply");
            return;
        }
        if (reply->contentType == nullptr) {
            // The host's replies always carry a content type: this one was cleared, so
            // it is released a second time or never came from this host.
            StrayFault("a reply release on a cleared reply record");
            return;
        }
        FakeHost::ReplyTicket* ticket = FakeHost::ReplyTicket::FromText(reply->contentType);
        FakeHost* host = ticket->host;
        Guarded(host, "reply release", [&] { host->OnReplyReleased(*ticket); });
        // Frees the value and the error text and zeroes them, so that a second release
        // is counted but frees nothing.
        reply->result.Release();
    }

    static std::uint8_t PZL_CDECL ReadBody(void* owner, char* buffer, std::uint32_t* length,
                                           std::uint8_t* moreData) {
        if (owner == nullptr || buffer == nullptr || length == nullptr || moreData == nullptr) {
            StrayFault("a body read without its owner, buffer, length or more-data byte");
            return 0;
        }
        auto* stream = static_cast<FakeHost::StreamOwner*>(owner);
        FakeHost* host = stream->host;
        bool result = false;
        Guarded(host, "body read", [&] { result = host->OnBodyRead(*stream, buffer, *length, *moreData); });
        return result ? 1 : 0;
    }

    static void PZL_CDECL ReleaseBody(void* owner) {
        if (owner == nullptr) {
            StrayFault("a body release without its owner");
            return;
        }
        auto* stream = static_cast<FakeHost::StreamOwner*>(owner);
        FakeHost* host = stream->host;
        Guarded(host, "body release", [&] { host->OnBodyReleased(*stream); });
    }

    static inline std::atomic<FakeHost*> lastCreated{nullptr};
};

FakeHost::FakeHost(std::uint32_t clientId)
    : table_{}, context_{}, driver_(std::this_thread::get_id()), start_(std::chrono::steady_clock::now()) {
    table_.api.request = &FakeHostEntries::Request;
    table_.api.reserved1 = &FakeHostEntries::Entry1;
    table_.api.reserved2 = &FakeHostEntries::Entry2;
    table_.api.subscribeEvent = &FakeHostEntries::Subscribe;
    table_.api.unsubscribeEvent = &FakeHostEntries::Unsubscribe;
    table_.api.reserved5 = &FakeHostEntries::Entry5;
    table_.api.waitResume = &FakeHostEntries::WaitStep2;
    table_.api.waitYield = &FakeHostEntries::WaitStep1;
    table_.api.waitResult = &FakeHostEntries::WaitStep3;
    table_.api.logMessage = &FakeHostEntries::Log;
    table_.host = this;
    context_.api = &table_.api;
    context_.clientId = clientId;
    FakeHostEntries::lastCreated.store(this);
}

FakeHost::~FakeHost() {
    FakeHost* self = this;
    FakeHostEntries::lastCreated.compare_exchange_strong(self, nullptr);
}

void FakeHost::OnFault(const std::string&) {}

std::uint64_t FakeHost::Elapsed() const {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start_).count());
}

namespace {
std::atomic<FakeHost::CallWatcher> callWatcher{nullptr};
}

void FakeHost::SetCallWatcher(CallWatcher watcher) { callWatcher.store(watcher); }

void FakeHost::NoteCall(HostCallKind kind, std::size_t index) {
    HostCall call;
    call.kind = kind;
    call.index = index;
    call.nanoseconds = Elapsed();
    call.otherThread = std::this_thread::get_id() != driver_;
    calls_.push_back(call);
    if (const CallWatcher watcher = callWatcher.load()) watcher(*this, call);
}

void FakeHost::Fault(std::string message) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        faults_.push_back(message);
        NoteCall(HostCallKind::Fault, faults_.size() - 1);
    }
    OnFault(message);
}

std::vector<std::string> FakeHost::ResourcePaths() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return store_.Paths();
}

void FakeHost::SetDriverThread(std::thread::id thread) {
    std::lock_guard<std::mutex> guard(mutex_);
    driver_ = thread;
}

void FakeHost::SetLiveStore(bool on) {
    std::lock_guard<std::mutex> guard(mutex_);
    liveStore_ = on;
}

std::size_t FakeHost::PendingEventCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return pending_.size();
}

std::size_t FakeHost::DeliverPending(std::size_t limit) {
    std::size_t delivered = 0;
    while (delivered < limit) {
        PendingEvent next;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (pending_.empty()) break;
            next = std::move(pending_.front());
            pending_.pop_front();
        }
        DeliverResourceEvent(next.path, next.eventType, next.data);
        ++delivered;
    }
    return delivered;
}

void FakeHost::SetResource(std::string_view path, const BindingProperty& value) {
    std::lock_guard<std::mutex> guard(mutex_);
    store_.Set(path, value);
}

const BindingProperty& FakeHost::Store(std::string_view path) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return store_.Get(path);
}

bool FakeHost::HasResource(std::string_view path) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return store_.Has(path);
}

void FakeHost::RemoveResource(std::string_view path) {
    std::lock_guard<std::mutex> guard(mutex_);
    store_.Remove(path);
}

void FakeHost::SetReply(HttpMethod method, std::string_view path, ReplyPlan plan) {
    std::lock_guard<std::mutex> guard(mutex_);
    replies_.insert_or_assign(std::make_pair(method, std::string(path)), std::move(plan));
}

void FakeHost::RemoveReply(HttpMethod method, std::string_view path) {
    std::lock_guard<std::mutex> guard(mutex_);
    replies_.erase(std::make_pair(method, std::string(path)));
}

void FakeHost::ClearReplies() {
    std::lock_guard<std::mutex> guard(mutex_);
    replies_.clear();
}

void FakeHost::StreamAnswers(std::function<std::string(const BindingProperty&)> text) {
    std::lock_guard<std::mutex> guard(mutex_);
    streamText_ = std::move(text);
}

void FakeHost::FailRequests(ReplyPlan plan, std::size_t budget) {
    std::lock_guard<std::mutex> guard(mutex_);
    failPlan_ = std::move(plan);
    failBudget_ = budget;
    failed_ = 0;
}

std::size_t FakeHost::FailedRequests() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return failed_;
}

void FakeHost::SetWaitResult(std::uint64_t value) {
    std::lock_guard<std::mutex> guard(mutex_);
    waitResult_ = value;
}

namespace {

// What the timeline shows of an event: the resource change when the payload is one.
DeliveredEvent DescribeEvent(std::string_view eventName, const BindingProperty& payload) {
    DeliveredEvent event;
    event.eventName = eventName;
    if (payload.Kind() == PropertyKind::Structure && payload.GetMember("uri").Kind() == PropertyKind::String) {
        event.resourceEvent = true;
        event.uri = payload.GetMember("uri").GetStringView();
        const BindingProperty& type = payload.GetMember("eventType");
        if (type.Kind() == PropertyKind::String) {
            event.eventType = type.GetStringView();
        } else {
            static constexpr const char* kNames[] = {"Create", "Update", "Delete"};
            const double number = type.ToDouble(-1.0);
            event.eventType = number == 0.0 || number == 1.0 || number == 2.0 ? kNames[static_cast<int>(number)]
                                                                             : std::to_string(number);
        }
        event.data = payload.GetMember("data");
    } else {
        event.data = payload;
    }
    return event;
}

}  // namespace

bool FakeHost::Deliver(std::string_view eventName, const BindingProperty& payload) {
    OwnedRecord record;
    ToHostValue(payload, record.value);
    return DeliverNoted(eventName, record.value, DescribeEvent(eventName, payload));
}

bool FakeHost::DeliverRecord(std::string_view eventName, const HostValue& payload) {
    BindingProperty value;
    HostResultHead head{};
    if (!FromHostValue(payload, value, "<payload>", head)) value = BindingProperty();
    head.Release();
    return DeliverNoted(eventName, payload, DescribeEvent(eventName, value));
}

bool FakeHost::DeliverNoted(std::string_view eventName, const HostValue& payload, DeliveredEvent described) {
    std::vector<RecordedSubscription> targets;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        for (const RecordedSubscription& subscription : active_) {
            if (subscription.eventName == eventName) targets.push_back(subscription);
        }
        described.receivers = targets.size();
        events_.push_back(std::move(described));
        NoteCall(HostCallKind::Event, events_.size() - 1);
    }
    // The callbacks run unlocked: a handler calls back into the host (requests,
    // subscriptions) while it handles the event.
    const std::string name(eventName);
    for (const RecordedSubscription& target : targets) {
        // A handler may end subscriptions; an ended one receives nothing more.
        if (!IsActive(target)) continue;
        HostEvent event{};
        event.name = name.c_str();
        event.payload = payload;
        event.context = target.context;
        target.callback(&event);
    }
    return !targets.empty();
}

bool FakeHost::DeliverResourceEvent(std::string_view path, std::string_view eventType, const BindingProperty& data) {
    BindingProperty payload;
    payload["uri"] = path;
    payload["eventType"] = eventType;
    payload["data"] = data;
    return Deliver(EventName(path), payload);
}

bool FakeHost::DeliverResourceEvent(std::string_view path, std::int32_t eventType, const BindingProperty& data) {
    BindingProperty payload;
    payload["uri"] = path;
    payload["eventType"] = eventType;
    payload["data"] = data;
    return Deliver(EventName(path), payload);
}

bool FakeHost::IsActive(const RecordedSubscription& target) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return std::any_of(active_.begin(), active_.end(), [&](const RecordedSubscription& subscription) {
        return subscription.eventName == target.eventName && subscription.clientId == target.clientId &&
               subscription.callback == target.callback && subscription.context == target.context;
    });
}

bool FakeHost::IsSubscribed(std::string_view eventName) const {
    std::lock_guard<std::mutex> guard(mutex_);
    return std::any_of(active_.begin(), active_.end(),
                       [&](const RecordedSubscription& subscription) { return subscription.eventName == eventName; });
}

std::size_t FakeHost::WaitCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<std::size_t>(
        std::count_if(waitCalls_.begin(), waitCalls_.end(), [](const WaitCall& call) { return call.entry == 8; }));
}

std::size_t FakeHost::OutstandingReplies() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<std::size_t>(std::count_if(tickets_.begin(), tickets_.end(),
                                                  [](const auto& ticket) { return !ticket->released; }));
}

std::size_t FakeHost::OpenStreams() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<std::size_t>(
        std::count_if(streams_.begin(), streams_.end(), [](const auto& stream) { return !stream->released; }));
}

void FakeHost::ClearRecords() {
    std::lock_guard<std::mutex> guard(mutex_);
    firstSequence_ += requests_.size();
    requests_.clear();
    subscriptions_.clear();
    unsubscriptions_.clear();
    logLines_.clear();
    waitCalls_.clear();
    otherCalls_.clear();
    events_.clear();
    faults_.clear();
    calls_.clear();
    // Replies and streams still in the plugin's hands keep their owners.
    std::erase_if(tickets_, [](const auto& ticket) { return ticket->released; });
    std::erase_if(streams_, [](const auto& stream) { return stream->released; });
}

void FakeHost::OnRequest(HostReply& reply, const HostRequest& request) {
    RecordedRequest record;
    record.method = request.method;
    record.hasUrl = request.url != nullptr;
    if (record.hasUrl) record.url = request.url;
    record.clientId = request.clientId;
    record.argumentCount = request.argumentCount;
    if (request.arguments != nullptr) {
        for (std::uint32_t i = 0; i < request.argumentCount; ++i) {
            record.arguments.push_back(RecordArgument(request.arguments[i]));
        }
    } else if (request.argumentCount != 0) {
        Fault("a request with " + std::to_string(request.argumentCount) + " arguments and no argument array");
    }
    record.headerCount = request.headerCount;
    record.hasHeaders = request.headers != nullptr;
    record.hasContentType = request.contentType != nullptr;
    record.hasRawBody = request.body != nullptr;
    record.rawBodyLength = request.bodyLength;
    record.hasUserData = request.userData != nullptr;
    record.hasCustomMethod = request.customMethod != nullptr;
    if (record.hasCustomMethod) record.customMethod = request.customMethod;

    std::lock_guard<std::mutex> guard(mutex_);
    const bool existed = record.hasUrl && store_.Has(record.url);
    // A failing host changes nothing in its store.
    ReplyPlan plan;
    if (failPlan_ && failBudget_ > 0) {
        plan = *failPlan_;
        --failBudget_;
        ++failed_;
    } else {
        plan = PlanFor(record.Method(), record);
    }
    if (streamText_ && !plan.errorText && !plan.stream && !plan.rawKind) {
        StreamPlan stream;
        stream.text = streamText_(plan.value);
        plan.stream = std::move(stream);
        plan.value = BindingProperty();
    }
    record.status = plan.statusCode;
    record.answeredWithError = plan.errorText.has_value();
    record.streamed = plan.stream.has_value();
    if (liveStore_) QueueChange(record.Method(), record, plan, existed);
    const std::uint64_t sequence = firstSequence_ + requests_.size();
    requests_.push_back(std::move(record));
    NoteCall(HostCallKind::Request, requests_.size() - 1);
    FillReply(reply, plan, sequence);
}

ReplyPlan FakeHost::PlanFor(HttpMethod method, const RecordedRequest& record) {
    if (!record.hasUrl) return ReplyPlan::Error("Missing url", 400);
    auto fixed = replies_.find(std::make_pair(method, record.url));
    if (fixed != replies_.end()) return fixed->second;
    const BindingProperty* body = nullptr;
    if (!record.arguments.empty()) {
        const RecordedArgument& first = record.arguments.front();
        if (!first.converted) return ReplyPlan::Error(first.error, 400);
        body = &first.value;
    }
    if (liveStore_ && method == HttpMethod::Post && body != nullptr) {
        store_.Set(record.url, *body);
        return ReplyPlan::Value(BindingProperty());
    }
    return store_.Answer(method, record.url, body);
}

void FakeHost::QueueChange(HttpMethod method, const RecordedRequest& record, const ReplyPlan& plan, bool existed) {
    if (plan.errorText || !record.hasUrl) return;
    // A fixed answer stands in for the resource: the store did not change.
    if (replies_.find(std::make_pair(method, record.url)) != replies_.end()) return;
    const bool exists = store_.Has(record.url);
    const char* type = nullptr;
    switch (method) {
    case HttpMethod::Put:
    case HttpMethod::Post:
        if (exists) type = existed ? "Update" : "Create";
        break;
    case HttpMethod::Patch:
        type = "Update";
        break;
    case HttpMethod::Delete:
        if (existed) type = "Delete";
        break;
    default:
        break;
    }
    if (type == nullptr) return;
    // A POST without a body only answers; it changed nothing.
    if (method == HttpMethod::Post && record.arguments.empty()) return;
    pending_.push_back(PendingEvent{record.url, type, exists ? store_.Get(record.url) : BindingProperty()});
}

void FakeHost::FillReply(HostReply& reply, const ReplyPlan& plan, std::uint64_t sequence) {
    // Whatever the caller left in the record is overwritten, as a host does.
    std::memset(static_cast<void*>(&reply), 0, sizeof reply);

    auto ticket = std::make_unique<ReplyTicket>();
    std::memset(ticket->text, 0, sizeof ticket->text);
    plan.contentType.copy(ticket->text, ReplyTicket::kTextSize - 1);
    ticket->host = this;
    ticket->sequence = sequence;
    ticket->released = false;

    std::unique_ptr<StreamOwner> stream;
    if (plan.stream) {
        stream = std::unique_ptr<StreamOwner>(new StreamOwner{this, sequence, FakeReplyStream(*plan.stream), false});
    }

    // The error first: setting it releases the value, and a plan may carry both.
    if (plan.errorText) reply.result.SetError(plan.errorText->c_str());
    if (plan.rawKind) {
        reply.result.value.kind = static_cast<HostValueKind>(*plan.rawKind);
    } else {
        ToHostValue(plan.value, reply.result.value);
    }
    reply.statusCode = plan.statusCode;
    reply.contentType = ticket->text;
    reply.release = &FakeHostEntries::ReleaseReply;
    if (stream) {
        reply.readBody = &FakeHostEntries::ReadBody;
        reply.releaseBody = &FakeHostEntries::ReleaseBody;
        reply.bodySizeHint = stream->stream.SizeHint();
        reply.bodyOwner = stream.get();
        streams_.push_back(std::move(stream));
    }
    tickets_.push_back(std::move(ticket));
}

RecordedRequest* FakeHost::FindRequest(std::uint64_t sequence) {
    if (sequence < firstSequence_ || sequence - firstSequence_ >= requests_.size()) return nullptr;
    return &requests_[static_cast<std::size_t>(sequence - firstSequence_)];
}

void FakeHost::OnReplyReleased(ReplyTicket& ticket) {
    std::lock_guard<std::mutex> guard(mutex_);
    ticket.released = true;
    if (RecordedRequest* request = FindRequest(ticket.sequence)) ++request->replyReleases;
}

bool FakeHost::OnBodyRead(StreamOwner& owner, char* buffer, std::uint32_t& length, std::uint8_t& moreData) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (RecordedRequest* request = FindRequest(owner.sequence)) ++request->bodyReads;
        if (!owner.released) return owner.stream.Read(buffer, length, moreData);
    }
    length = 0;
    Fault("a streamed body was read after its release");
    return false;
}

void FakeHost::OnBodyReleased(StreamOwner& owner) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (RecordedRequest* request = FindRequest(owner.sequence)) ++request->bodyReleases;
    owner.released = true;
    owner.stream.Close();
}

}  // namespace Kesh::StandIn
