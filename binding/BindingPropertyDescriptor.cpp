#include "binding/BindingPropertyDescriptor.h"

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

void BindingPropertyDescriptor::Assign(ConversionResult& result, void* native, const BindingProperty& input,
                                       const char* /*name*/, const TypeRegistry* /*registry*/) const {
    auto& target = *static_cast<BindingProperty*>(native);
    target.Clear();
    if (result.Ok()) {
        target = input;
    }
}

void BindingPropertyDescriptor::ToValue(ConversionResult& result, const void* native,
                                        const TypeRegistry* /*registry*/) const {
    result.SetSuccess();
    result.Value() = *static_cast<const BindingProperty*>(native);
}

}  // namespace Kesh
