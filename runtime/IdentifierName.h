#pragma once

#include <string>
#include <string_view>

namespace Kesh {

// The identifier form of a plugin name, used as the prefix of its type names:
// "qor-user-experience" becomes "QorUserExperience". The separators "!+-./_" are
// dropped and upper-case the next character, "{" becomes "By" and does the same,
// "}" is dropped, and the first character is upper-cased.
std::string IdentifierName(std::string_view name);

}  // namespace Kesh
