// Only the newest step of the YAML path tree may be dropped: an older one is the parent
// of a newer one, or an anchor may still need it.
#include <gtest/gtest.h>

#include "formats/YamlPaths.h"

namespace Kesh {
namespace {

TEST(YamlPaths, PopKeepsStepsOthersStillNeed) {
    BindingProperty root;
    root["a"]["b"] = 5;
    root["c"] = 6;
    std::size_t walked = 0;

    YamlPaths paths;
    const YamlPaths::StepId a = paths.PushKey(YamlPaths::kRoot, "a");
    const YamlPaths::StepId b = paths.PushKey(a, "b");
    paths.Pop(a);  // b still hangs from it
    paths.Pop(YamlPaths::kRoot);
    EXPECT_EQ(paths.Resolve(root, b, walked).GetSigned(), 5);
    EXPECT_EQ(walked, 2u);

    paths.Pin();  // an anchor refers to b
    paths.Pop(b);
    EXPECT_EQ(paths.Resolve(root, b, walked).GetSigned(), 5);

    const YamlPaths::StepId c = paths.PushKey(YamlPaths::kRoot, "c");
    paths.Pop(c);
    const YamlPaths::StepId again = paths.PushKey(YamlPaths::kRoot, "c");
    EXPECT_EQ(again, c);  // the dropped step's place is taken again
    EXPECT_EQ(paths.Resolve(root, again, walked).GetSigned(), 6);
}

}  // namespace
}  // namespace Kesh
