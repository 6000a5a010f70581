#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/ServiceProxy.h"
#include "tests/log/LogFixture.h"

namespace Kesh::Testing {
namespace {

PluginServiceProxyResponse Response(std::string uuid, std::string service, std::string method,
                                    std::string payload) {
    return PluginServiceProxyResponse{std::move(uuid), std::move(service), std::move(method),
                                      std::move(payload), "", ""};
}

class ServiceProxyTest : public LogTest {
protected:
    void SetUp() override {
        LogTest::SetUp();
        DetachConsoles();
        Configure(log, 0, 0, 0, "#M");
    }
    RecordingTarget log;
    ServiceProxy proxy{"ux"};
    std::vector<std::string> completed;

    ServiceProxy::Handler Recorder(const std::string& label) {
        return [this, label](const PluginServiceProxyResponse& response) {
            completed.push_back(label + ":" + response.payload);
        };
    }
};

// Each answer completes only the request of its key ("service.method" for a method
// message), whichever of the two comes first; an answer nobody waits for is stored.
TEST_F(ServiceProxyTest, AnswersWaitForTheirRequests) {
    proxy.AddPendingRequest("x", Recorder("x"));
    proxy.OnMethodMessage(Response("", "s", "m", "first"));
    proxy.OnUuidMessage(Response("u1", "", "", "old"));
    proxy.OnUuidMessage(Response("u1", "", "", "new"));  // replaces the stored answer
    EXPECT_EQ(proxy.StoredResponseCount(), 2u);
    EXPECT_TRUE(completed.empty());

    proxy.AddPendingRequest("u1", Recorder("u1"));
    EXPECT_EQ(completed, (std::vector<std::string>{"u1:new"}));
    proxy.AddPendingRequest("s.m", Recorder("s.m"));
    EXPECT_EQ(completed.back(), "s.m:first");
    EXPECT_EQ(proxy.StoredResponseCount(), 0u);
    EXPECT_EQ(proxy.PendingRequestCount(), 1u);  // "x" still waits
    EXPECT_EQ(log.messages, (std::vector<std::string>{"ux: Fulfilled service proxy request: u1",
                                                      "ux: Fulfilled service proxy request: s.m"}));
    EXPECT_EQ(log.levels, (std::vector<int>{3, 3}));

    // A request registered first is completed by the answer that follows.
    proxy.AddPendingRequest("u2", Recorder("u2"));
    proxy.OnUuidMessage(Response("u2", "", "", "late"));
    EXPECT_EQ(completed.back(), "u2:late");
    EXPECT_EQ(completed.size(), 3u);
}

TEST_F(ServiceProxyTest, AsyncMessagesGoToTheirHandlerOrAreReported) {
    proxy.AddAsyncHandler("svc.push", Recorder("async"));
    proxy.OnAsyncMessage(Response("", "svc", "push", "p1"));
    EXPECT_EQ(completed, (std::vector<std::string>{"async:p1"}));
    EXPECT_EQ(proxy.StoredResponseCount(), 0u);  // never stored

    proxy.OnAsyncMessage(Response("", "svc", "other", "p2"));
    ASSERT_EQ(log.messages.size(), 1u);
    EXPECT_EQ(log.messages[0], "ux: Could not find registered handler for async service proxy event svc.other");
    EXPECT_EQ(log.levels[0], 2);
    EXPECT_EQ(log.masks[0], 1u);
}

}  // namespace
}  // namespace Kesh::Testing
