// The sample plugin loaded as the host loads it: each function found by name in its
// API table and called through the record's handler with host-built requests.
#include <gtest/gtest.h>

#include "tests/SampleHost.h"

namespace SampleTest {
namespace {

TEST(SampleApi, GetItemByPathAndQuery) {
    SamplePlugin plugin;
    ASSERT_TRUE(plugin.Loaded()) << SamplePlugin::LoadError();
    const Kesh::ApiFunctionRecord* getItem = plugin.Function("GetItem");
    ASSERT_NE(getItem, nullptr);
    Request request;
    request.url = "/sample/v1/items/5?verbose";
    Reply reply;
    Call(*getItem, request, reply);
    ASSERT_FALSE(reply.Failed()) << reply.Error();
    const BindingProperty value = reply.Value();
    EXPECT_EQ(value.GetMember("id").GetSigned(), 5);
    EXPECT_EQ(value.GetMember("name").GetStringView(), "item-5");
    EXPECT_TRUE(value.GetMember("verbose").ToBool());
}

}  // namespace
}  // namespace SampleTest
