#pragma once

#include "binding/HostValue.h"

namespace Kesh {

class TypeRegistry;
struct TypeRecord;

// Fills a registered native struct straight from a host record, without reading the
// record into a value tree first. It takes only the plain case: a structure record
// whose members are scalars, whose keys name no field twice, and whose fields are texts,
// enums of a built-in size, dynamic values or bools, each fed a record kind that rule
// takes as it is. Then the struct ends exactly as reading the record into a value and
// assigning that would leave it. Anything else (a failure of any kind included) returns
// false with the struct possibly half written: the caller resets it and goes the
// general way, which also gives the messages.
bool AssignStructFromHost(void* native, const HostValue& record, const TypeRecord* type);

}  // namespace Kesh
