#include "platform/Heap.h"

#include <windows.h>

namespace Kesh::Platform {

void* HeapAllocate(std::size_t size) { return ::HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size); }

void HeapFree(void* block) {
    if (block != nullptr) ::HeapFree(GetProcessHeap(), 0, block);
}

void* HeapReallocate(void* block, std::size_t size) {
    if (block == nullptr) return HeapAllocate(size);
    return ::HeapReAlloc(GetProcessHeap(), 0, block, size == 0 ? 1 : size);
}

std::size_t HeapBlockSize(const void* block) {
    if (block == nullptr) return 0;
    const SIZE_T size = ::HeapSize(GetProcessHeap(), 0, block);
    return size == static_cast<SIZE_T>(-1) ? 0 : size;
}

}  // namespace Kesh::Platform
