#pragma once

#include <string>

#include "binding/BindingProperty.h"

namespace Kesh::Tools {

// Renders a value tree as text, one value per line, each with its kind name:
//   structure (2)
//     "a": unsigned 1
//     "b": collection (1)
//       [0]: string "x"
// Strings and keys are quoted with C-style escapes for quotes, backslashes and control
// bytes; blobs show their bytes in hex; floats keep all their digits. Works through an
// explicit stack, so any depth prints; beyond 64 levels lines show their depth instead
// of indenting further.
std::string PrintValueTree(const BindingProperty& root);

}  // namespace Kesh::Tools
