#pragma once

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"
#include "binding/TypeDescriptor.h"

namespace Kesh {

// A descriptor that can build its value directly inside a bigger one. Struct, vector
// and map conversions hand it the member or element itself, so nothing is built in a
// temporary tree of its own and then deep-copied into place.
class NativeTypeDescriptor : public TypeDescriptor {
public:
    // Converts native into target, which belongs to result's value or is that value.
    // On failure result holds the message and target must no longer be used.
    virtual bool WriteValue(ConversionResult& result, BindingProperty& target, const void* native,
                            const TypeRegistry* registry) const = 0;

    void ToValue(ConversionResult& result, const void* native, const TypeRegistry* registry) const final {
        result.SetSuccess();
        WriteValue(result, result.Value(), native, registry);
    }
};

}  // namespace Kesh
