#include "tools/pzl-host/checks/Check.h"

#include "runtime/EventName.h"

namespace Kesh::StandIn {
namespace {

const Check kChecks[] = {
    {"single-export", false, SingleExport, "the library exports exactly one entry point, load_ and the short name"},
    {"registration", false, Registration,
     "the export overwrites every word of a pre-filled registration record: version, callbacks, handle, short name, table"},
    {"api-table", false, ApiTableCheck,
     "the API table is readable and consistent: unique names and routes, path arguments and placeholders alike, chained "
     "records, known types, refused declarations"},
    {"init-unload", true, InitUnload,
     "init succeeds and unload ends every subscription, reply (released once) and streamed body"},
    {"repeated-cycles", false, RepeatedCycles, "25 load-init-unload cycles in one process"},
    {"second-object", false, SecondObject, "a second plugin object lives beside the first"},
    {"balanced-allocations", true, BalancedAllocations, "every allocation of a cycle with events is freed"},
    {"random-payloads", true, RandomPayloads, "random payloads made of the plugin's own declared names to every subscribed event"},
    {"malformed-payloads", false, MalformedPayloads,
     "deep, huge, wrongly shaped and hostile payloads to every subscribed event"},
    {"malformed-requests", true, MalformedRequests,
     "missing arguments, wrong kinds, integers out of range, unknown enumerators, broken bodies, wrong methods and paths "
     "are answered with an error with text and status 0 or 4xx"},
    {"valid-calls", true, ValidCalls,
     "valid calls with arguments in every place they may go are answered with an error with text or a value of the "
     "declared type"},
    {"before-init-after-unload", true, BeforeInitAfterUnload,
     "no host calls before init, nor within a grace period after an unload that follows events"},
    {"threads", true, Threads, "host calls from threads the host never called the plugin on (a warning)"},
    {"deterministic", true, Deterministic, "the same seeded events, delivered to two plugin objects in turn, give the same host calls"},
    {"host-errors", true, HostErrors,
     "with every request answered with 500, 404 or a missing-URL error the plugin neither crashes, nor loops, nor floods"},
};

}  // namespace

std::span<const Check> AllChecks() { return kChecks; }

std::map<std::string, std::string> WatchedPaths(const FakeHost& host) {
    std::map<std::string, std::string> paths;
    for (const RecordedRequest& request : host.Requests()) {
        if (request.Method() == HttpMethod::Get) paths.emplace(EventName(request.url), request.url);
    }
    constexpr std::string_view kPrefix = "OnJsonApiEvent_";
    for (const RecordedSubscription& subscription : host.Subscriptions()) {
        const std::string& name = subscription.eventName;
        if (!name.starts_with(kPrefix) || paths.count(name) != 0) continue;
        std::string path = "/" + name.substr(kPrefix.size());
        for (char& c : path) c = c == '_' ? '/' : c;
        paths.emplace(name, path);
    }
    return paths;
}

}  // namespace Kesh::StandIn
