#include "tests/support/CommaLocale.h"

#include <clocale>
#include <cstring>

namespace Kesh::Testing {

CommaLocale::CommaLocale() {
    const char* current = std::setlocale(LC_ALL, nullptr);
    previous_ = current != nullptr ? current : "C";
    for (const char* candidate : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "nl_NL.UTF-8",
                                  "ru_RU.UTF-8", "de-DE", "German_Germany.1252"}) {
        if (std::setlocale(LC_ALL, candidate) == nullptr) continue;
        const std::lconv* conventions = std::localeconv();
        if (conventions != nullptr && std::strcmp(conventions->decimal_point, ",") == 0) {
            active_ = true;
            return;
        }
    }
    std::setlocale(LC_ALL, previous_.c_str());
}

CommaLocale::~CommaLocale() {
    if (active_) std::setlocale(LC_ALL, previous_.c_str());
}

}  // namespace Kesh::Testing
