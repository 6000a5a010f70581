#pragma once

#include "binding/NativeAssign.h"
#include "binding/NativeToValue.h"
#include "binding/NativeTraits.h"
#include "binding/NativeTypeDescriptor.h"

namespace Kesh {

// The descriptor of one native type, for both directions, by the rule of its kind: a
// string, bool or number; an object; a blob; a vector or map of any element; each
// declared enum and registered struct (looked up by its identity in the registry the
// conversion is given); an optional of any of these.
template <ConvertibleNative T>
class NativeDescriptor final : public NativeTypeDescriptor {
public:
    void Assign(ConversionResult& result, void* native, const BindingProperty& input, const char* name,
                const TypeRegistry* registry) const override {
        AssignNative(result, *static_cast<T*>(native), input, name, registry);
    }

    bool WriteValue(ConversionResult& result, BindingProperty& target, const void* native,
                    const TypeRegistry* registry) const override {
        return WriteNativeWith(result, target, *static_cast<const T*>(native), registry,
                               LookupRecord<T>(registry));
    }
};

}  // namespace Kesh
