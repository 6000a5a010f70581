#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "api/ArgumentLocation.h"
#include "api/CallResult.h"
#include "api/RequestContext.h"
#include "api/Route.h"
#include "binding/BindingProperty.h"
#include "binding/FunctionRecord.h"
#include "runtime/HttpMethod.h"

namespace Kesh {

class TypeRegistry;

// How an exposed function is reached over the API and how it is called: the URL
// template, the method, where each argument may come from, and the invoker that turns
// the gathered values into the native call.
class FunctionBinding : public FunctionBindingBase {
public:
    std::string urlPath;
    // None accepts every method.
    HttpMethod method = HttpMethod::None;
    // Compared for HttpMethod::Custom only.
    std::string customMethod;
    // One per argument, in argument order.
    std::vector<ArgumentLocation> locations;
    // Built from the above once the function's record is complete.
    Route route;

    std::uint32_t MethodNumber() const override { return static_cast<std::uint32_t>(method); }
    const char* CustomMethodName() const override { return customMethod.c_str(); }
    const char* UrlTemplate() const override { return urlPath.c_str(); }
    std::uint32_t LocationNumber(std::size_t index) const override {
        return index < locations.size() ? static_cast<std::uint32_t>(locations[index]) : 0;
    }

    // Whether the function takes a RequestContext.
    virtual bool TakesContext() const = 0;
    // Converts the arguments into the native parameters and calls the function, writing
    // its outcome into result. context is null unless TakesContext. May run on several
    // threads at once.
    virtual void Invoke(CallResult& result, std::span<const BindingProperty> arguments,
                        const RequestContext* context, const TypeRegistry* registry) const = 0;
};

}  // namespace Kesh
