#pragma once

namespace Kesh {

class BindingProperty;
class ConversionResult;
class TypeRegistry;

// Converts one native type in both directions. Descriptor objects are created when a
// field or argument is declared and are owned by the record that declares it.
class TypeDescriptor {
public:
    TypeDescriptor() = default;
    TypeDescriptor(const TypeDescriptor&) = delete;
    TypeDescriptor& operator=(const TypeDescriptor&) = delete;

    // Fills the native storage from input. name is the text messages use for the value;
    // registry (which may be null) resolves enum and struct types. A result that has
    // already failed only resets the storage.
    virtual void Assign(ConversionResult& result, void* native, const BindingProperty& input,
                        const char* name, const TypeRegistry* registry) const = 0;

    // Converts the native storage into result's value.
    virtual void ToValue(ConversionResult& result, const void* native,
                         const TypeRegistry* registry) const = 0;

    virtual ~TypeDescriptor();
};

}  // namespace Kesh
