#pragma once

#include <cstdint>

#include "platform/Allocator.h"

namespace Kesh::Testing {

// Makes the library's allocations fail while it lives, to show what code does when
// memory runs out: counting from 1 at construction, the allocation number `first` fails
// and, with `onward`, every later one too (memory stays exhausted). Only one may exist
// at a time; meant for single-threaded stretches of a test, with no assertions inside.
//
//     for (std::uint64_t n = 1;; ++n) {
//         AllocationFailure failure(n, true);
//         ... code under test ...
//         if (!failure.Triggered()) break;  // the code needed fewer than n allocations
//     }
class AllocationFailure {
public:
    AllocationFailure(std::uint64_t first, bool onward);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    // Whether any allocation failed so far.
    bool Triggered() const;
    // Puts the earlier hooks back before the destructor does (idempotent).
    void End();

private:
    Memory::AllocatorHooks previous_;
    bool active_ = true;
};

}  // namespace Kesh::Testing
