#pragma once

#include <string>
#include <string_view>

namespace Kesh {

// Decodes a query key or text or a captured path parameter: "+" is a space, "%" and two
// hexadecimal digits are that byte. A "%" followed by fewer than two characters is
// dropped; a "%" followed by two characters that are not both hexadecimal digits is
// copied with them unchanged, since no byte value can be read from it.
std::string UrlDecode(std::string_view text);

}  // namespace Kesh
