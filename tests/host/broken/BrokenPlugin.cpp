// Deliberately broken plugins for pzl-host's conformance checks: one source, one fault
// per build (PZL_BROKEN_FAULT), each a plugin of this SDK that is sound but for it.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <optional>
#include <thread>

#if defined(_WIN32) && PZL_BROKEN_FAULT == 14
#include <windows.h>
#endif

#include "api/ApiResult.h"
#include "api/ExposeFunction.h"
#include "binding/BindingProperty.h"
#include "runtime/ApiTable.h"
#include "runtime/HostReply.h"
#include "runtime/PluginBase.h"
#include "runtime/PluginExport.h"
#include "runtime/RuntimeTypes.h"

#define PZL_FAULT_TWO_EXPORTS 1
#define PZL_FAULT_LEAK 2
#define PZL_FAULT_CRASH 3
#define PZL_FAULT_DANGLING_NAME 4
#define PZL_FAULT_UNKNOWN_TYPE 5
#define PZL_FAULT_PATH_ARGUMENT 6
#define PZL_FAULT_DUPLICATES 9
#define PZL_FAULT_CRASH_CALL 10
#define PZL_FAULT_MISSING_500 11
#define PZL_FAULT_STREAM_OPEN 12
#define PZL_FAULT_DOUBLE_RELEASE 13
#define PZL_FAULT_THREAD 14
#define PZL_FAULT_AFTER_UNLOAD 15
#define PZL_FAULT_CLOCK 16
#define PZL_FAULT_LOOP 17
#define PZL_FAULT_MISMATCH 18
// Faults of the registration and of the process a plugin shares with its other objects:
// newer-version hands back a plugin API version newer than the core it accepted;
// slot-table takes one of 20 static object slots at each init and never gives it back,
// so the 21st object in a process fails its init; first-client keeps the client id of
// the first host context it saw in the process and gives every later object that one.
#define PZL_FAULT_NEWER_VERSION 19
#define PZL_FAULT_SLOT_TABLE 20
#define PZL_FAULT_FIRST_CLIENT 21

namespace {

constexpr const char* kWatched = "/broken/v1/state";

#if PZL_BROKEN_FAULT == PZL_FAULT_LEAK
char* volatile lastLeaked = nullptr;
#endif

class BrokenPlugin : public Kesh::PluginBase {
public:
#if PZL_BROKEN_FAULT >= PZL_FAULT_PATH_ARGUMENT && PZL_BROKEN_FAULT <= PZL_FAULT_MISMATCH
    // One sound function beside the faulty declaration, which must not take it down.
    void RegisterTypes() override {
        using namespace Kesh;
        [[maybe_unused]] const auto greet = [](const std::string& name) { return "hi " + name; };
        ExposeFunction(Registry(), {.name = "Ping", .method = HttpMethod::Get, .url = "/broken/v1/ping"},
                       [] { return std::string("pong"); });
#if PZL_BROKEN_FAULT == PZL_FAULT_PATH_ARGUMENT
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/greet/{name}"},
                       greet, {InPath("nmae")});
#elif PZL_BROKEN_FAULT == PZL_FAULT_CRASH_CALL
        // Sound until called properly: any valid call dereferences null, while binding
        // answers every malformed request before the function runs.
        ExposeFunction(Registry(), {.name = "Explode", .method = HttpMethod::Post, .url = "/broken/v1/explode"},
                       [](std::int32_t count) {
                           volatile std::uintptr_t address = 0;
                           return *reinterpret_cast<const volatile std::int32_t*>(address) + count;
                       },
                       {Anywhere("count")});
#elif PZL_BROKEN_FAULT == PZL_FAULT_MISSING_500
        // Takes its argument as optional but declares it required (the export marks it
        // so in the record), and answers its absence as its own failure.
        ExposeFunction(Registry(), {.name = "Count", .method = HttpMethod::Post, .url = "/broken/v1/count"},
                       [](std::optional<std::int32_t> count) -> ApiResult<std::int32_t> {
                           if (!count) return ApiError{"count went missing", 500};
                           return *count * 2;
                       },
                       {Anywhere("count")});
#elif PZL_BROKEN_FAULT == PZL_FAULT_MISMATCH
        // The export renames the placeholder in the record: {key} in the template, id
        // among the path arguments.
        ExposeFunction(Registry(), {.name = "Item", .method = HttpMethod::Get, .url = "/broken/v1/items/{id}"},
                       [](std::int32_t id) { return id; }, {InPath("id")});
#elif PZL_BROKEN_FAULT == PZL_FAULT_DUPLICATES
        // Legal but suspicious: the later declaration wins.
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/greet/{name}"},
                       greet, {InPath("name")});
        // The later Greet takes its placeholder from anywhere, which a path may fill too.
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/hello/{name}"},
                       greet, {Anywhere("name")});
        // Any method: it shares Ping's GET route, which the fault names.
        ExposeFunction(Registry(), {.name = "Pong", .method = HttpMethod::None, .url = "/broken/v1/ping"},
                       [] { return std::string("ping"); });
#endif
    }
#endif
    bool OnInit() override {
#if PZL_BROKEN_FAULT == PZL_FAULT_SLOT_TABLE
        static int slotsTaken = 0;
        if (slotsTaken == 20) return false;
        ++slotsTaken;
#endif
        AddResourceHandler(kWatched, [](const Kesh::PluginResourceEvent& event) { OnState(event); });
        Subscribe(kWatched);
#if PZL_BROKEN_FAULT == PZL_FAULT_STREAM_OPEN || PZL_BROKEN_FAULT == PZL_FAULT_DOUBLE_RELEASE
        ReadFeed();
#elif PZL_BROKEN_FAULT == PZL_FAULT_THREAD
        // A request from a thread of its own (waited for, so the rest stays orderly).
        RunOnOwnThread([this] { CallApi(Kesh::HttpMethod::Post, "/broken/v1/thread"); });
#elif PZL_BROKEN_FAULT == PZL_FAULT_CLOCK
        // Output that depends on when it runs.
        const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
        CallApi(Kesh::HttpMethod::Post, "/broken/v1/clock", std::to_string(now));
#elif PZL_BROKEN_FAULT == PZL_FAULT_LOOP
        // Retries until the host answers, however long that takes.
        while (!CallApi(Kesh::HttpMethod::Post, "/broken/v1/hello").Succeeded()) {
        }
#endif
        return true;
    }

private:
#if PZL_BROKEN_FAULT == PZL_FAULT_STREAM_OPEN || PZL_BROKEN_FAULT == PZL_FAULT_DOUBLE_RELEASE
    // Its own reader of a streamed answer, with the fault in its clean-up.
    void ReadFeed() {
        Kesh::HostRequest request{};
        request.method = static_cast<std::uint32_t>(Kesh::HttpMethod::Post);
        request.url = "/broken/v1/feed";
        request.clientId = ClientId();
        Kesh::HostReply reply{};
        Request(&reply, &request);
        if (reply.readBody == nullptr) {
            if (reply.release != nullptr) reply.release(&reply);
            return;
        }
#if PZL_BROKEN_FAULT == PZL_FAULT_DOUBLE_RELEASE
        char buffer[256];
        std::uint8_t more = 1;
        while (more != 0) {
            std::uint32_t length = sizeof buffer;
            if (reply.readBody(reply.bodyOwner, buffer, &length, &more) == 0) break;
        }
        reply.releaseBody(reply.bodyOwner);
        reply.release(&reply);
        // Released once more on the way out.
        reply.release(&reply);
#else
        // The body is neither read nor ended.
        reply.release(&reply);
#endif
    }
#endif
#if PZL_BROKEN_FAULT == PZL_FAULT_THREAD
#if defined(_WIN32)
    template <typename Work>
    static DWORD WINAPI ThreadMain(LPVOID context) {
        (*static_cast<Work*>(context))();
        return 0;
    }
#endif
    template <typename Work>
    static void RunOnOwnThread(Work work) {
#if defined(_WIN32)
        // A thread of the operating system's own, so the DLL needs no thread library.
        HANDLE thread = CreateThread(nullptr, 0, &ThreadMain<Work>, &work, 0, nullptr);
        if (thread == nullptr) return;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
#else
        std::thread(work).join();
#endif
    }
#endif
    static void OnState(const Kesh::PluginResourceEvent& event) {
#if PZL_BROKEN_FAULT == PZL_FAULT_LEAK
        // One allocation per event that nobody frees (kept where the compiler must assume
        // it is read, so the allocation cannot be left out).
        lastLeaked = new char[64];
        static_cast<void>(event);
#elif PZL_BROKEN_FAULT == PZL_FAULT_CRASH
        // Trusts the payload's shape: a state without "count" is a null dereference, and
        // a "hang" state never returns.
        if (event.data.GetStringView() == "hang") {
            for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
        }
        // The read is the plugin's own (not inside the SDK, which the sanitize build
        // checks), so it stays a plain crash there too.
        const Kesh::BindingProperty* count = event.data.HasMember("count") ? &event.data.GetMember("count") : nullptr;
        volatile char sink = *reinterpret_cast<const volatile char*>(count);
        static_cast<void>(sink);
#else
        static_cast<void>(event);
#endif
    }
};

#if PZL_BROKEN_FAULT == PZL_FAULT_DANGLING_NAME || PZL_BROKEN_FAULT == PZL_FAULT_UNKNOWN_TYPE
void PZL_CDECL AnswerError(Kesh::HostReply* reply, Kesh::HostRequest*) {
    if (reply != nullptr) {
        std::memset(static_cast<void*>(reply), 0, sizeof *reply);
        reply->statusCode = 500;
    }
}
#endif
#if PZL_BROKEN_FAULT == PZL_FAULT_AFTER_UNLOAD
// Keeps the host's table from init and still calls it when the counters are read,
// after unload too.
Kesh::PluginCallbacks lateCallbacks{};
Kesh::PluginCallbacks ownCallbacks{};
Kesh::HostApi* keptHost = nullptr;

std::uint8_t PZL_CDECL InitKeepingHost(void* plugin, Kesh::HostContext* context) {
    if (context != nullptr) keptHost = context->api;
    return ownCallbacks.init(plugin, context);
}

void PZL_CDECL StatsTellingHost(void* plugin, Kesh::MemoryStats* stats) {
    ownCallbacks.memoryStats(plugin, stats);
    if (keptHost != nullptr && keptHost->logMessage != nullptr) keptHost->logMessage(keptHost, 0, "counters read");
}
#endif
#if PZL_BROKEN_FAULT == PZL_FAULT_DANGLING_NAME
// The plugin's table with one function record whose name points nowhere.
Kesh::ApiFunctionUserData danglingUserData{};
Kesh::ApiFunctionRecord danglingFunction{};
Kesh::ApiTable danglingTable{};
#endif
#if PZL_BROKEN_FAULT == PZL_FAULT_UNKNOWN_TYPE
// A function whose second parameter refers to a type the table does not describe.
Kesh::ApiFunctionUserData lookupUserData{};
Kesh::ParameterDescriptionRecord lookupParameters[2]{};
Kesh::ApiFunctionRecord lookupFunction{};
Kesh::ApiTable lookupTable{};
#endif

}  // namespace

static const ::Kesh::TraceRegistrationAtLoad pzlTraceRegistrationAtLoad;

#if PZL_BROKEN_FAULT == PZL_FAULT_TWO_EXPORTS
// A second entry point the host never asked for.
PZL_EXPORT int PZL_CDECL broken_extra_entry() { return 1; }
#endif

// Sound for most inputs, for the fuzzer: an event whose data is a number n with
// n % 7 == 3, or a call of Divide with such a count, dereferences null, and an event
// whose data is true makes a request without its records (a host fault, no crash). It prints a line on each standard stream at init, which the host must keep
// out of its own output.
#define PZL_FAULT_CRASH_SOME 50
#if PZL_BROKEN_FAULT == PZL_FAULT_CRASH_SOME
#include <cstdio>

namespace {

void CrashWhen(bool crash) {
    if (!crash) return;
    volatile std::uintptr_t address = 0;
    volatile char sink = *reinterpret_cast<const volatile char*>(address);
    static_cast<void>(sink);
}

class CrashSomePlugin : public Kesh::PluginBase {
public:
    void RegisterTypes() override {
        using namespace Kesh;
        ExposeFunction(Registry(), {.name = "Divide", .method = HttpMethod::Post, .url = "/broken/v1/divide"},
                       [](std::int32_t count) {
                           CrashWhen(count % 7 == 3);
                           return count;
                       },
                       {Anywhere("count")});
    }
    bool OnInit() override {
        std::printf("broken-crash-some: init on standard output\n");
        std::fprintf(stderr, "broken-crash-some: init on standard error\n");
        AddResourceHandler(kWatched, [this](const Kesh::PluginResourceEvent& event) {
            const Kesh::BindingProperty& data = event.data;
            if (data.Kind() == Kesh::PropertyKind::Bool && data.ToBool()) Request(nullptr, nullptr);
            CrashWhen((data.Kind() == Kesh::PropertyKind::Signed && data.GetSigned() % 7 == 3) ||
                      (data.Kind() == Kesh::PropertyKind::Unsigned && data.GetUnsigned() % 7 == 3));
        });
        Subscribe(kWatched);
        return true;
    }
};

}  // namespace

#endif

#if PZL_BROKEN_FAULT == PZL_FAULT_FIRST_CLIENT

namespace {

Kesh::PluginCallbacks ownCallbacks{};
Kesh::PluginCallbacks firstClientCallbacks{};
// The contexts handed on, one per init, kept for the objects' lives.
Kesh::HostContext contexts[64]{};
int contextCount = 0;

std::uint8_t PZL_CDECL InitWithFirstClient(void* plugin, Kesh::HostContext* context) {
    if (context == nullptr || contextCount == 64) return ownCallbacks.init(plugin, context);
    Kesh::HostContext& handed = contexts[contextCount++];
    handed = *context;
    handed.clientId = contexts[0].clientId;
    return ownCallbacks.init(plugin, &handed);
}

}  // namespace

#endif

namespace {

#if PZL_BROKEN_FAULT == PZL_FAULT_CRASH_SOME
using ThePlugin = CrashSomePlugin;
#else
using ThePlugin = BrokenPlugin;
#endif

// What the export changes in the record the SDK filled, past the SDK's own checks.
void AdjustRecord(Kesh::HostRegistration& record) {
#if PZL_BROKEN_FAULT == PZL_FAULT_NEWER_VERSION
    record.minor = 99;
#endif
    if (record.apiTable == nullptr || record.callbacks == nullptr) return;
    [[maybe_unused]] Kesh::ApiTable& table = *record.apiTable;
#if PZL_BROKEN_FAULT == PZL_FAULT_DANGLING_NAME
    danglingTable = table;
    danglingFunction.userData = &danglingUserData;
    danglingFunction.name = reinterpret_cast<const char*>(std::uintptr_t{0x10});
    danglingFunction.handler = &AnswerError;
    danglingTable.functions = &danglingFunction;
    danglingTable.functionCount = 1;
    record.apiTable = &danglingTable;
#elif PZL_BROKEN_FAULT == PZL_FAULT_MISSING_500 || PZL_BROKEN_FAULT == PZL_FAULT_MISMATCH
    for (std::uint32_t i = 0; i < table.functionCount; ++i) {
        Kesh::ApiFunctionRecord& function = table.functions[i];
#if PZL_BROKEN_FAULT == PZL_FAULT_MISSING_500
        if (std::strcmp(function.name, "Count") == 0 && function.parameterCount == 1) function.parameters[0].optional = 0;
#else
        if (std::strcmp(function.name, "Item") == 0) function.urlTemplate = "/broken/v1/items/{key}";
#endif
    }
#elif PZL_BROKEN_FAULT == PZL_FAULT_AFTER_UNLOAD
    ownCallbacks = *record.callbacks;
    lateCallbacks = ownCallbacks;
    lateCallbacks.init = &InitKeepingHost;
    lateCallbacks.memoryStats = &StatsTellingHost;
    record.callbacks = &lateCallbacks;
#elif PZL_BROKEN_FAULT == PZL_FAULT_FIRST_CLIENT
    ownCallbacks = *record.callbacks;
    firstClientCallbacks = ownCallbacks;
    firstClientCallbacks.init = &InitWithFirstClient;
    record.callbacks = &firstClientCallbacks;
#elif PZL_BROKEN_FAULT == PZL_FAULT_UNKNOWN_TYPE
    lookupParameters[0] = {&lookupParameters[1], "key", "", 1, 12, 0, "", 0};
    lookupParameters[1] = {nullptr, "filter", "", 5, 17, 0, "BrokenLookupFilter", 1};
    lookupFunction.userData = &lookupUserData;
    lookupFunction.name = "Lookup";
    lookupFunction.nameSpace = "";
    lookupFunction.description = "";
    lookupFunction.method = 2;
    lookupFunction.customMethod = "";
    lookupFunction.urlTemplate = "/broken/v1/lookup";
    lookupFunction.parameters = lookupParameters;
    lookupFunction.parameterCount = 2;
    lookupFunction.returnTypeName = "";
    lookupFunction.asyncResultTypeName = "";
    lookupFunction.help = "";
    lookupFunction.handler = &AnswerError;
    lookupTable = table;
    lookupTable.functions = &lookupFunction;
    lookupTable.functionCount = 1;
    record.apiTable = &lookupTable;
#endif
}

}  // namespace

// One entry point, named for the library (PZL_BROKEN_ENTRY, PZL_BROKEN_NAME come from
// the build).
PZL_EXPORT void PZL_CDECL PZL_BROKEN_ENTRY(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<ThePlugin>(record, PZL_BROKEN_NAME);
    if (record != nullptr) AdjustRecord(*record);
}
