#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "binding/BindingProperty.h"
#include "runtime/EventName.h"
#include "tests/plugin/LoadedPlugin.h"
#include "tests/support/fakehost/FakeHost.h"

namespace Kesh::Testing {
namespace {

// The host's calls during init as one line each, in the order made: "subscribe NAME",
// "GET /path", "DELETE /path", ...
std::vector<std::string> Timeline(const FakeHost& host) {
    std::vector<std::string> lines;
    for (const HostCall& call : host.Calls()) {
        if (call.kind == HostCallKind::Subscribe) {
            lines.push_back("subscribe " + host.Subscriptions()[call.index].eventName);
        } else if (call.kind == HostCallKind::Request) {
            const RecordedRequest& request = host.Requests()[call.index];
            lines.push_back(std::string(HttpMethodName(request.Method())) + " " + request.url);
        }
    }
    return lines;
}

std::size_t Position(const std::vector<std::string>& lines, const std::string& line) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == line) return i;
    }
    return lines.size();
}

// A resource changed between the GET and the subscription would never reach the
// plugin: each watched resource must be subscribed before its first state is read, and
// the first state's effects come before the next resource is watched.
TEST(SubscribeOrder, EachResourceIsSubscribedBeforeItsFirstStateIsFetched) {
    FakeHost host;
    BindingProperty session;
    session["summonerId"] = 7;
    host.SetResource("/qor-login/v1/session", session);
    host.SetResource("/keshclient/zoom-scale", 1.25);
    LoadedPlugin plugin(host);
    ASSERT_TRUE(plugin.Init());

    const std::vector<std::string> lines = Timeline(host);
    const std::vector<std::string> paths = {"/qor-settings/v1/local/qor-user-experience", "/qor-gameflow/v1/session",
                                            "/qor-settings/v2/local/video", "/keshclient/zoom-scale",
                                            "/qor-login/v1/session"};
    std::size_t previousGet = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const std::size_t subscribe = Position(lines, "subscribe " + EventName(path));
        const std::size_t get = Position(lines, "GET " + path);
        ASSERT_LT(subscribe, lines.size());
        ASSERT_LT(get, lines.size());
        EXPECT_LT(subscribe, get);
        EXPECT_LE(previousGet, subscribe);
        previousGet = get;
    }
    // The login session's first state (a Create) deletes the affinity at once, before
    // init's own login step reads the session again.
    const std::size_t loginGet = Position(lines, "GET /qor-login/v1/session");
    ASSERT_LT(loginGet + 2, lines.size());
    EXPECT_EQ(lines[loginGet + 1], "DELETE /keshclient/affinity");
    EXPECT_EQ(lines[loginGet + 2], "GET /qor-login/v1/session");
}

}  // namespace
}  // namespace Kesh::Testing
