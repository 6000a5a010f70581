// Deliberately broken plugins for pzl-host's conformance checks: one source, one fault
// per build (PZL_BROKEN_FAULT), each a plugin of this SDK that is sound but for it.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

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
#define PZL_FAULT_PLACEHOLDER 7
#define PZL_FAULT_UNCLOSED_BRACE 8
#define PZL_FAULT_DUPLICATES 9
#define PZL_FAULT_CRASH_CALL 10

namespace {

constexpr const char* kWatched = "/broken/v1/state";

#if PZL_BROKEN_FAULT == PZL_FAULT_LEAK
char* volatile lastLeaked = nullptr;
#endif

class BrokenPlugin : public Kesh::PluginBase {
public:
#if PZL_BROKEN_FAULT >= PZL_FAULT_PATH_ARGUMENT
    // One sound function beside the faulty declaration, which must not take it down.
    void RegisterTypes() override {
        using namespace Kesh;
        [[maybe_unused]] const auto greet = [](const std::string& name) { return "hi " + name; };
        ExposeFunction(Registry(), {.name = "Ping", .method = HttpMethod::Get, .url = "/broken/v1/ping"},
                       [] { return std::string("pong"); });
#if PZL_BROKEN_FAULT == PZL_FAULT_PATH_ARGUMENT
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/greet/{name}"},
                       greet, {InPath("nmae")});
#elif PZL_BROKEN_FAULT == PZL_FAULT_PLACEHOLDER
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/greet/{name}"},
                       greet, {InQuery("who")});
#elif PZL_BROKEN_FAULT == PZL_FAULT_UNCLOSED_BRACE
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/greet/{name"},
                       greet, {InQuery("name")});
#elif PZL_BROKEN_FAULT == PZL_FAULT_CRASH_CALL
        // Sound until called properly: any valid call dereferences null, while binding
        // answers every malformed request before the function runs.
        ExposeFunction(Registry(), {.name = "Explode", .method = HttpMethod::Post, .url = "/broken/v1/explode"},
                       [](std::int32_t count) {
                           volatile std::uintptr_t address = 0;
                           return *reinterpret_cast<const volatile std::int32_t*>(address) + count;
                       },
                       {Anywhere("count")});
#else
        // Legal but suspicious: the later declaration wins.
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/greet/{name}"},
                       greet, {InPath("name")});
        ExposeFunction(Registry(), {.name = "Greet", .method = HttpMethod::Get, .url = "/broken/v1/hello/{name}"},
                       greet, {InPath("name")});
        ExposeFunction(Registry(), {.name = "Pong", .method = HttpMethod::Get, .url = "/broken/v1/ping"},
                       [] { return std::string("ping"); });
#endif
    }
#endif
    bool OnInit() override {
        AddResourceHandler(kWatched, [](const Kesh::PluginResourceEvent& event) { OnState(event); });
        Subscribe(kWatched);
        return true;
    }

private:
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
PZL_EXPORT void PZL_CDECL load_broken_two_exports(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-two-exports");
}
// A second entry point the host never asked for.
PZL_EXPORT int PZL_CDECL broken_extra_entry() { return 1; }
#elif PZL_BROKEN_FAULT == PZL_FAULT_LEAK
PZL_EXPORT void PZL_CDECL load_broken_leak(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-leak");
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_CRASH
PZL_EXPORT void PZL_CDECL load_broken_crash(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-crash");
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_DANGLING_NAME
PZL_EXPORT void PZL_CDECL load_broken_dangling_name(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-dangling-name");
    if (record == nullptr || record->apiTable == nullptr) return;
    danglingTable = *record->apiTable;
    danglingFunction.userData = &danglingUserData;
    danglingFunction.name = reinterpret_cast<const char*>(std::uintptr_t{0x10});
    danglingFunction.handler = &AnswerError;
    danglingTable.functions = &danglingFunction;
    danglingTable.functionCount = 1;
    record->apiTable = &danglingTable;
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_PATH_ARGUMENT
PZL_EXPORT void PZL_CDECL load_broken_path_argument(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-path-argument");
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_PLACEHOLDER
PZL_EXPORT void PZL_CDECL load_broken_placeholder(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-placeholder");
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_UNCLOSED_BRACE
PZL_EXPORT void PZL_CDECL load_broken_unclosed_brace(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-unclosed-brace");
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_DUPLICATES
PZL_EXPORT void PZL_CDECL load_broken_duplicates(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-duplicates");
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_CRASH_CALL
PZL_EXPORT void PZL_CDECL load_broken_crash_call(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-crash-call");
}
#elif PZL_BROKEN_FAULT == PZL_FAULT_UNKNOWN_TYPE
PZL_EXPORT void PZL_CDECL load_broken_unknown_type(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<BrokenPlugin>(record, "broken-unknown-type");
    if (record == nullptr || record->apiTable == nullptr) return;
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
    lookupTable = *record->apiTable;
    lookupTable.functions = &lookupFunction;
    lookupTable.functionCount = 1;
    record->apiTable = &lookupTable;
}
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

PZL_EXPORT void PZL_CDECL load_broken_crash_some(::Kesh::HostRegistration* record) {
    ::Kesh::LoadPlugin<CrashSomePlugin>(record, "broken-crash-some");
}
#endif
