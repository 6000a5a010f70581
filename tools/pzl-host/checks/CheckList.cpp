#include "tools/pzl-host/checks/Check.h"

#include "runtime/EventName.h"

namespace Kesh::StandIn {
namespace {

const Check kChecks[] = {
    {"single-export", false, SingleExport, "the library exports exactly one entry point, load_ and the short name"},
    {"registration", false, Registration, "the registration record is filled: version, short name, tables"},
    {"api-table", false, ApiTableCheck,
     "the API table is readable and consistent: unique names, chained records, known types, refused declarations"},
    {"init-unload", false, InitUnload, "init succeeds and unload ends every subscription and request"},
    {"repeated-cycles", false, RepeatedCycles, "25 load-init-unload cycles in one process"},
    {"second-object", false, SecondObject, "a second plugin object lives beside the first"},
    {"balanced-allocations", true, BalancedAllocations, "every allocation of a cycle with events is freed"},
    {"random-payloads", true, RandomPayloads, "random payloads to every subscribed event"},
    {"malformed-payloads", false, MalformedPayloads,
     "deep, huge, wrongly shaped and hostile payloads to every subscribed event"},
    {"malformed-requests", true, MalformedRequests,
     "malformed requests to every function's route are answered with an error with text, never a 5xx"},
    {"valid-calls", true, ValidCalls,
     "valid calls to every function do not crash and answer an error with text or a value of the declared kind"},
    {"before-init-after-unload", false, BeforeInitAfterUnload, "no host calls before init or after unload"},
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
