#pragma once

#include <string>

namespace Kesh::Testing {

// Switches the process to a locale that writes numbers with a decimal comma while it
// lives, as a host may, and restores the earlier locale afterwards. Machines without
// such a locale leave the process as it is (Active() false); the build generates one
// into the build tree where it can (see tests/CMakeLists.txt).
class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool Active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

}  // namespace Kesh::Testing

// Skips the test when no comma locale could be set.
#define PZL_REQUIRE_COMMA_LOCALE(locale)                                                             \
    do {                                                                                             \
        if (!(locale).Active()) GTEST_SKIP() << "no locale with a decimal comma on this machine"; \
    } while (false)
