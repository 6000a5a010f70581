#include <gtest/gtest.h>

#include <cstddef>

#include "runtime/HostRegistration.h"
#include "runtime/IdentifierName.h"

namespace Kesh {
namespace {

TEST(HostRegistration, WordsSitWhereTheHostReadsThem) {
    // The host reads the record as seven pointer-wide words.
    HostRegistration record{};
    PluginCallbacks callbacks{};
    record.major = 18;
    record.callbacks = &callbacks;
    record.shortName = "x";
    const auto* words = reinterpret_cast<const std::uintptr_t*>(&record);
    if (sizeof(void*) == 4) {
        EXPECT_EQ(sizeof record, 28u);
        EXPECT_EQ(words[0], 18u);
        EXPECT_EQ(words[3], reinterpret_cast<std::uintptr_t>(&callbacks));
        EXPECT_EQ(words[5], reinterpret_cast<std::uintptr_t>(record.shortName));
    } else {
        EXPECT_EQ(offsetof(HostRegistration, callbacks), 12u);
        EXPECT_EQ(sizeof record, 12u + 4 * sizeof(void*));
    }
}

TEST(IdentifierName, Forms) {
    EXPECT_EQ(IdentifierName("qor-user-experience"), "QorUserExperience");
    EXPECT_EQ(IdentifierName("a.b_c/d+e!f"), "ABCDEF");
    EXPECT_EQ(IdentifierName("list{id}items"), "ListByIditems");
    EXPECT_EQ(IdentifierName("x}y"), "Xy");
    EXPECT_EQ(IdentifierName("--lead"), "Lead");
    EXPECT_EQ(IdentifierName("already Mixed"), "Already Mixed");
    EXPECT_EQ(IdentifierName(""), "");
}

}  // namespace
}  // namespace Kesh
