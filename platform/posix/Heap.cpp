#include "platform/Heap.h"

#include <malloc.h>

#include <cstdlib>

namespace Kesh::Platform {

void* HeapAllocate(std::size_t size) { return std::malloc(size == 0 ? 1 : size); }

void HeapFree(void* block) { std::free(block); }

void* HeapReallocate(void* block, std::size_t size) { return std::realloc(block, size == 0 ? 1 : size); }

std::size_t HeapBlockSize(const void* block) {
    return block == nullptr ? 0 : malloc_usable_size(const_cast<void*>(block));
}

}  // namespace Kesh::Platform
