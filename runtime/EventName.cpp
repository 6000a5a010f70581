#include "runtime/EventName.h"

#include <algorithm>

namespace Kesh {

std::string EventName(std::string_view path) {
    std::string name = "OnJsonApiEvent";
    std::size_t kept = 1;
    std::size_t limit = 4;
    std::size_t position = 0;
    while (position < path.size() && kept < limit) {
        const std::size_t end = std::min(path.find('/', position), path.size());
        if (end > position) {
            const std::string_view token = path.substr(position, end - position);
            if (kept == 1 && token == "qor-platform-config") {
                limit = 6;  // its resources are told apart further down the path
            }
            name += '_';
            name += token;
            ++kept;
        }
        position = end + 1;
    }
    return name;
}

bool MatchesPathPattern(std::string_view pattern, std::string_view path) {
    std::size_t p = 0;
    std::size_t u = 0;
    while (p < pattern.size() && u < path.size()) {
        if (pattern[p] != '*') {
            if (pattern[p] != path[u]) {
                return false;
            }
            ++p;
            ++u;
        } else if (path[u] == '/') {
            ++p;  // the segment part is finished
        } else if (++u == path.size()) {
            ++p;
        }
    }
    return p == pattern.size() && u == path.size();
}

}  // namespace Kesh
