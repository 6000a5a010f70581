#pragma once

#include <cstddef>

namespace Kesh::Platform {

// The process heap, uncounted. Only the allocator's hooks call these.
void* HeapAllocate(std::size_t size);
void HeapFree(void* block);
void* HeapReallocate(void* block, std::size_t size);
std::size_t HeapBlockSize(const void* block);

}  // namespace Kesh::Platform
