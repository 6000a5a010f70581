// The route list may hold gaps: a null route, or one whose function has no binding,
// is passed over.
#include <gtest/gtest.h>

#include <vector>

#include "api/FunctionBinding.h"
#include "api/ParsedRequest.h"
#include "api/Route.h"
#include "binding/FunctionRecord.h"

namespace Kesh {
namespace {

class NoOpBinding : public FunctionBinding {
public:
    bool TakesContext() const override { return false; }
    void Invoke(CallResult&, std::span<const BindingProperty>, const RequestContext*,
                const TypeRegistry*) const override {}
};

TEST(RouteList, GapsArePassedOver) {
    FunctionRecord function;
    function.name = "items";
    NoOpBinding binding;
    binding.urlPath = "/items/{id}";
    binding.method = HttpMethod::Get;
    const Route route = Route::Build(function, binding);
    Route unbound = route;
    unbound.binding = nullptr;

    ParsedRequest request;
    request.url = "/items/5";
    request.method = HttpMethod::Get;
    EXPECT_FALSE(MatchRoute(request, {nullptr, &unbound}));
    ASSERT_TRUE(MatchRoute(request, {nullptr, &unbound, &route}));
    EXPECT_EQ(request.function, &function);
}

}  // namespace
}  // namespace Kesh
