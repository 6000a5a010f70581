#pragma once

#include <string>

#include "binding/BindingProperty.h"
#include "binding/ConversionResult.h"

namespace Kesh::Oracle {

// What differs between two read results, or "" when nothing does: the success flag and
// message, then node by node the kinds, values, element counts, member keys in order,
// and each text's reference count in its tree's intern table (and the tables' sizes).
// Walks without recursion, so trees of any depth can be compared.
std::string Difference(const ConversionResult& expected, const ConversionResult& actual);

// What is wrong with the member trees of value, or "": every Structure's members must
// form a red-black tree (black root, no red node with a red child, the same number of
// black nodes on every path, parent links that match) whose keys ascend strictly in
// byte order and whose node count is the member count.
std::string MemberTreeProblem(const BindingProperty& value);

}  // namespace Kesh::Oracle
