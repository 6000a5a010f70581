#include "binding/TypeDescriptor.h"

namespace Kesh {

// Defined here so that the class's virtual table has one home.
TypeDescriptor::~TypeDescriptor() = default;

}  // namespace Kesh
