#pragma once

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh {

class TypeRegistry;
struct FieldRecord;
struct TypeRecord;

// The struct rule: fills the native struct at native field by field from the members of
// input, in declaration order, stopping at the first failure. record may be null (an
// unregistered struct). An Empty input is the caller's concern: a struct member that is
// Empty never gets here. A result that has already failed leaves the struct untouched.
bool AssignStruct(ConversionResult& result, void* native, const BindingProperty& input, const char* name,
                  const TypeRecord* record, const TypeRegistry* registry);

// One member: by the built-in rule of the field's kind, or by its descriptor object
// when the field is optional or its kind has no built-in rule. fieldNative points at
// the member itself; input is not Empty.
bool AssignField(ConversionResult& result, void* fieldNative, const BindingProperty& input,
                 const FieldRecord& field, const TypeRegistry* registry);

}  // namespace Kesh
