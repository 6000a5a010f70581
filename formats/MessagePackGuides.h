#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "binding/BindingProperty.h"
#include "binding/InternedString.h"
#include "binding/MemberTree.h"

namespace Kesh {

// Where a value read before shows what comes next: bodies repeat one shape of structure
// element after element, so each structure, array and text is first compared with the
// one in the same place of the element before (or of that element's own guide). A key
// that matches its guide's is taken over without hashing or searching; it is new to its
// structure and sorts after its keys so far, since those matched the guide's keys before
// it, one for one (MemberTree::NextInOrder steps through them). A text that matches its
// guide's takes the same entry.

}  // namespace Kesh
