#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "binding/AsyncTypes.h"
#include "binding/HelpTypes.h"
#include "binding/StaticType.h"
#include "binding/TypeKind.h"

namespace {

struct Alpha {};
struct Beta {};
template <int N>
struct Numbered {};
enum class Phase : int { None = 0 };
struct Session {};

}  // namespace

PZL_STATIC_TYPE_ID(Phase, 0x309C3526u);
PZL_STATIC_TYPE(Session, 0x5B8210B7u,
                "const char *__cdecl StaticType::Name<struct Kesh::Client::UserExperience::Api::GameflowSession>(void)");

namespace Kesh {
namespace {

std::string Unnamed(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof(text), "#%08X", static_cast<unsigned>(id));
    return text;
}

TEST(StaticTypeTest, FixedIdentitiesKeepTheirIdsAndNames) {
    // Fixed ids must hold at compile time, since other records are keyed by them.
    static_assert(StaticTypeIdOf<BindingProperty>() == 0xAF98C378u);
    static_assert(StaticTypeIdOf<double>() == 0xBDCD4E3Bu);
    static_assert(StaticTypeIdOf<const double&>() == 0xBDCD4E3Bu);
    EXPECT_STREQ(StaticTypeOf<BindingProperty>().name,
                 "const char *__cdecl StaticType::Name<class Kesh::BindingProperty>(void)");
    EXPECT_STREQ(StaticTypeOf<double>().name, "const char *__cdecl StaticType::Name<double>(void)");
    EXPECT_EQ(&StaticTypeOf<const double>(), &StaticTypeOf<double>());

    // A fixed id without a display name shows as its hexadecimal form, upper case.
    EXPECT_EQ(StaticTypeOf<Phase>().id, 0x309C3526u);
    EXPECT_STREQ(StaticTypeOf<Phase>().name, "#309C3526");
    EXPECT_EQ(StaticTypeOf<Session>().id, 0x5B8210B7u);
    EXPECT_STREQ(StaticTypeOf<Session>().name,
                 "const char *__cdecl StaticType::Name<struct Kesh::Client::UserExperience::Api::GameflowSession>(void)");

    // The reserved identity means "no native type".
    EXPECT_TRUE(NoStaticType().IsNone());
    EXPECT_EQ(NoStaticType().id, StaticType::kNoTypeId);
    EXPECT_EQ(&StaticTypeOf<void>(), &NoStaticType());
    EXPECT_STREQ(NoStaticType().name, "#00000000");
}

TEST(StaticTypeTest, DerivedIdentitiesAreDistinctStableAndShownInHex) {
    const std::vector<const StaticType*> types = {
        &StaticTypeOf<Alpha>(),         &StaticTypeOf<Beta>(),          &StaticTypeOf<Numbered<1>>(),
        &StaticTypeOf<Numbered<2>>(),   &StaticTypeOf<int>(),           &StaticTypeOf<unsigned>(),
        &StaticTypeOf<long long>(),     &StaticTypeOf<float>(),         &StaticTypeOf<bool>(),
        &StaticTypeOf<std::string>(),   &StaticTypeOf<std::vector<int>>(),
        &StaticTypeOf<std::vector<std::string>>(), &StaticTypeOf<BindingFullTypeHelp>(),
        &StaticTypeOf<BindingFullFieldHelp>(),     &StaticTypeOf<BindingHelpFormat>(),
        &StaticTypeOf<BindingAsyncState>(),        &StaticTypeOf<BindingCallbackEvent>(),
        &StaticTypeOf<BindingAsyncCancelEvent>(),  &StaticTypeOf<double>(),
        &StaticTypeOf<BindingProperty>(),          &StaticTypeOf<Phase>(),
        &StaticTypeOf<Session>(),
    };
    std::set<std::uint32_t> ids;
    for (const StaticType* type : types) {
        EXPECT_FALSE(type->IsNone()) << type->name;
        ids.insert(type->id);
    }
    EXPECT_EQ(ids.size(), types.size());

    // The id is the one computed at build time, so it is the same on every run.
    constexpr std::uint32_t kAlphaId = StaticTypeIdOf<Alpha>();
    EXPECT_EQ(StaticTypeOf<Alpha>().id, kAlphaId);
    EXPECT_EQ(&StaticTypeOf<Alpha>(), &StaticTypeOf<const Alpha&>());
    EXPECT_EQ(StaticTypeOf<Alpha>().name, Unnamed(kAlphaId));
}

TEST(StaticTypeTest, TypeKindNamesAtTheEndsOfTheTable) {
    EXPECT_STREQ(TypeKindName(TypeKind::Bool), "bool");
    EXPECT_STREQ(TypeKindName(19u), "map");
    for (std::uint32_t outside : {0u, 20u, 0xFFFFFFFFu}) EXPECT_STREQ(TypeKindName(outside), "") << outside;
}

}  // namespace
}  // namespace Kesh
