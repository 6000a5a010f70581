#include "runtime/IdentifierName.h"

#include <cctype>

namespace Kesh {
namespace {

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

bool IsSeparator(char c) {
    return c == '!' || c == '+' || c == '-' || c == '.' || c == '/' || c == '_';
}

}  // namespace

std::string IdentifierName(std::string_view name) {
    std::string identifier;
    identifier.reserve(name.size());
    bool upperNext = true;  // the first character is upper-cased
    for (const char c : name) {
        if (IsSeparator(c)) {
            upperNext = true;
        } else if (c == '{') {
            identifier += "By";
            upperNext = true;
        } else if (c == '}') {
            // dropped; an upper-casing still pending stays pending
        } else {
            identifier += upperNext ? Upper(c) : c;
            upperNext = false;
        }
    }
    return identifier;
}

}  // namespace Kesh
