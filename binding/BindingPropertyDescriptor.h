#pragma once

#include "binding/TypeDescriptor.h"

namespace Kesh {

// The descriptor of a native BindingProperty (the "object" kind): both directions copy
// the whole value, so every input kind is accepted, Empty included.
class BindingPropertyDescriptor final : public TypeDescriptor {
public:
    void Assign(ConversionResult& result, void* native, const BindingProperty& input, const char* name,
                const TypeRegistry* registry) const override;
    void ToValue(ConversionResult& result, const void* native, const TypeRegistry* registry) const override;
};

}  // namespace Kesh
