#include "log/CategoryGroups.h"

#include <atomic>
#include <cstring>

namespace Kesh {
namespace {

constexpr std::size_t kNameLength = 3;

struct GroupTable {
    char names[kMaxCategoryGroups][kNameLength + 1];
    // The highest bit whose name is complete; raised only after the name is stored.
    std::atomic<int> highest;
    // Held while a new name is added, so that two threads adding the same name can
    // not take two bits for it. Lookups of existing names never wait for it.
    std::atomic_flag adding;
};

// The built-in groups, then "LOC", which the library adds for itself at start-up.
// Built at compile time so that a log call made during static initialisation
// already sees every group.
constinit GroupTable table = {
    {"DBG", "GEN", "XTR", "PRF", "MEM", "DSK", "NET", "TST", "LOC"},
    8,
    ATOMIC_FLAG_INIT,
};

bool SameName(const char* stored, const char* name) {
    return std::strncmp(stored, name, kNameLength) == 0;
}

// The bit of name among bits from..to, or -1.
int FindGroup(const char* name, int from, int to) {
    for (int bit = from; bit <= to; ++bit) {
        if (SameName(table.names[bit], name)) {
            return bit;
        }
    }
    return -1;
}

class AddingGuard {
public:
    AddingGuard() {
        // Adding a group is rare and quick: a spin is enough.
        while (table.adding.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~AddingGuard() { table.adding.clear(std::memory_order_release); }
    AddingGuard(const AddingGuard&) = delete;
    AddingGuard& operator=(const AddingGuard&) = delete;
};

}  // namespace

std::uint64_t AddCategoryGroup(const char* name) {
    if (name == nullptr) {
        return 0;
    }
    const int seen = table.highest.load(std::memory_order_acquire);
    int bit = FindGroup(name, 0, seen);
    if (bit < 0) {
        AddingGuard guard;
        // Another thread may have added it since the first look.
        const int highest = table.highest.load(std::memory_order_relaxed);
        bit = FindGroup(name, seen + 1, highest);
        if (bit < 0) {
            // Refuse rather than run past the table.
            if (highest + 1 >= static_cast<int>(kMaxCategoryGroups)) {
                return 0;
            }
            bit = highest + 1;
            std::strncpy(table.names[bit], name, kNameLength);
            table.names[bit][kNameLength] = '\0';
            table.highest.store(bit, std::memory_order_release);
        }
    }
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
    // A bit above the highest complete group has no name yet (one may be being written).
    const unsigned highest = static_cast<unsigned>(table.highest.load(std::memory_order_acquire));
    bool first = true;
    for (unsigned bit = 0; bit < kMaxCategoryGroups && (mask >> bit) != 0; ++bit) {
        if ((mask >> bit & 1) == 0) {
            continue;
        }
        if (!first && !append(';')) {
            break;
        }
        first = false;
        const char* name = bit <= highest ? table.names[bit] : "";
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
