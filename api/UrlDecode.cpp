#include "api/UrlDecode.h"

namespace Kesh {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string UrlDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '+') {
            decoded.push_back(' ');
        } else if (c != '%') {
            decoded.push_back(c);
        } else if (text.size() - i < 3) {
            // Too short to be an escape: the "%" goes, what follows is copied.
        } else {
            const int high = HexValue(text[i + 1]);
            const int low = HexValue(text[i + 2]);
            if (high < 0 || low < 0) {
                decoded.append(text.substr(i, 3));
            } else {
                decoded.push_back(static_cast<char>(high * 16 + low));
            }
            i += 2;
        }
    }
    return decoded;
}

}  // namespace Kesh
