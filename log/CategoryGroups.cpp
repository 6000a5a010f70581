#include "log/CategoryGroups.h"

#include <atomic>
#include <cstring>

namespace Kesh {
namespace {

constexpr std::size_t kNameLength = 3;

struct GroupTable {
    char names[kMaxCategoryGroups][kNameLength + 1];
    std::atomic<int> highest;
};

// The built-in groups, then "LOC", which the library adds for itself at start-up.
// Built at compile time so that a log call made during static initialisation
// already sees every group.
constinit GroupTable table = {
    {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST", "LOC"},
    8,
};

bool SameName(const char* stored, const char* name) {
    return std::strncmp(stored, name, kNameLength) == 0;
}

}  // namespace

std::uint64_t AddCategoryGroup(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    int highest = table.highest.load(std::memory_order_acquire);
    for (int bit = 0; bit <= highest; ++bit) {
        if (SameName(table.names[bit], name)) {
            return 1ull << bit;
        }
    }
    // Claim the next bit; refuse rather than run past the table.
    do {
        if (highest + 1 >= static_cast<int>(kMaxCategoryGroups)) {
            return 0;
        }
    } while (!table.highest.compare_exchange_weak(highest, highest + 1, std::memory_order_acq_rel));
    const int bit = highest + 1;
    std::strncpy(table.names[bit], name, kNameLength);
    table.names[bit][kNameLength] = '\0';
    return 1ull << bit;
}

std::size_t CategoryGroupNames(std::uint64_t mask, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::size_t length = 0;
    auto append = [&](char c) {
        if (size - length < 2) {
            return false;
        }
        buffer[length++] = c;
        return true;
    };
    bool first = true;
    for (unsigned bit = 0; bit < kMaxCategoryGroups && (mask >> bit) != 0; ++bit) {
        if ((mask >> bit & 1) == 0) {
            continue;
        }
        if (!first && !append(';')) {
            break;
        }
        first = false;
        const char* name = table.names[bit];
        bool full = false;
        for (std::size_t i = 0; i < kNameLength && name[i] != '\0'; ++i) {
            if (!append(name[i])) {
                full = true;
                break;
            }
        }
        if (full) {
            break;
        }
    }
    buffer[length] = '\0';
    return length;
}

}  // namespace Kesh
