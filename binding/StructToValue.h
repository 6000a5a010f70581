#pragma once

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

class TypeRegistry;
struct FieldRecord;
struct TypeRecord;

// The to-value struct rule: target becomes a Structure with one member per field, in
// declaration order, stopping at the first failure. record may be null (an
// unregistered struct). target is result's value or lies inside it; after a failure
// it must not be used.
bool WriteStruct(ConversionResult& result, BindingProperty& target, const void* native, const TypeRecord* record,
                 const TypeRegistry* registry);

// One member by the built-in rule of its kind, or by its descriptor object when the
// field is optional or its kind has no built-in rule.
bool WriteField(ConversionResult& result, BindingProperty& target, const void* fieldNative,
                const FieldRecord& field, const TypeRegistry* registry);

}  // namespace Kesh
