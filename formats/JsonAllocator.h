#pragma once

#include <cstddef>
#include <new>

#include "platform/Allocator.h"

namespace Kesh {

// RapidJSON's allocator concept over the library's counting allocator, so that the
// reader's scratch stack is counted like every other allocation of the library. RapidJSON
// does not check for null, so exhausted memory throws, as operator new would.
class JsonAllocator {
public:
    static constexpr bool kNeedFree = true;

    void* Malloc(std::size_t size) { return size == 0 ? nullptr : Checked(Memory::Allocate(size)); }
    void* Realloc(void* block, std::size_t /*oldSize*/, std::size_t newSize) {
        if (newSize == 0) {
            Memory::Free(block);
            return nullptr;
        }
        return Checked(Memory::Reallocate(block, newSize));
    }
    static void Free(void* block) { Memory::Free(block); }

    bool operator==(const JsonAllocator&) const noexcept { return true; }
    bool operator!=(const JsonAllocator&) const noexcept { return false; }

private:
    static void* Checked(void* block) {
        if (block == nullptr) throw std::bad_alloc();
        return block;
    }
};

}  // namespace Kesh
